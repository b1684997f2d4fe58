// One line on standard error that says how far a long run has come: only
// when standard error is a terminal and standard output is not, where the
// rows themselves would show it. It is cleared before anything else is
// written there.
#pragma once

#include <chrono>
#include <string>

#include "counting.h"

namespace cli {

class Progress {
public:
    using Clock = std::chrono::steady_clock;

    // The line appears once a run has lasted a second, and changes at most
    // ten times a second: often enough to show movement, rarely enough to
    // cost nothing and not to flicker.
    static constexpr std::chrono::milliseconds DELAY{1000};
    static constexpr std::chrono::milliseconds PERIOD{100};

    explicit Progress(bool shown) : shown_(shown) {}

    bool shown() const { return shown_; }

    // Shows the files and bytes measured so far, when it is time to.
    void update(Count files, Count bytes);

    // Takes the line off the screen, if one is there.
    void clear();

private:
    bool shown_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point last_ = {};
    std::size_t width_ = 0; // of the line on screen, the carriage return included; 0 when none
    std::string shownText_;
};

} // namespace cli

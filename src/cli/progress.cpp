#include "progress.h"

#include <algorithm>
#include <cstdio>

#include "stdstreams.h"

namespace cli {

void Progress::update(Count files, Count bytes)
{
    if (!shown_)
        return;
    const Clock::time_point now = Clock::now();
    if (now - start_ < DELAY || now - last_ < PERIOD)
        return;
    last_ = now;
    char line[96];
    const int length = std::snprintf(line, sizeof line, "\rcmeasure: %lld %s measured, %.1f MiB",
                                     static_cast<long long>(files), files == 1 ? "file" : "files",
                                     static_cast<double>(bytes) / (1 << 20));
    std::string text(line, static_cast<std::size_t>(std::clamp(length, 0, static_cast<int>(sizeof line) - 1)));
    if (text == shownText_)
        return;
    shownText_ = text;
    // Spaces over what is left of a longer line shown before.
    if (text.size() < width_)
        text.append(width_ - text.size(), ' ');
    width_ = std::max(width_, text.size());
    say(text);
}

void Progress::clear()
{
    if (width_ > 0)
        say(std::string(1, '\r').append(width_ - 1, ' ').append(1, '\r'));
    width_ = 0;
    shownText_.clear();
}

} // namespace cli

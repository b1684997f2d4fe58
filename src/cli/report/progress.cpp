#include "report/progress.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

#include "report/stdstreams.h"

namespace cli {

namespace {

// The width of the terminal on standard error, in columns; 0 where it does
// not say.
std::size_t terminalColumns()
{
    winsize size = {};
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

// The longest line, its carriage return included, that stays on one line of
// the terminal: one column short of its width, as a character in the last
// column may already move the cursor to the next line. A line that wrapped
// would be cleared only on its last screen line, and leave the others.
std::size_t mostWidth()
{
    const std::size_t columns = terminalColumns();
    return columns > 1 ? columns : SIZE_MAX;
}

} // namespace

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
    const std::size_t most = mostWidth();
    text.resize(std::min(text.size(), most));
    if (text == shownText_)
        return;
    shownText_ = text;
    // Spaces over what is left of a longer line shown before.
    if (text.size() < width_)
        text.append(std::min(width_, most) - text.size(), ' ');
    width_ = std::max(std::min(width_, most), text.size());
    say(text);
}

void Progress::clear()
{
    if (width_ > 0)
        say(std::string(1, '\r').append(std::min(width_, mostWidth()) - 1, ' ').append(1, '\r'));
    width_ = 0;
    shownText_.clear();
}

} // namespace cli

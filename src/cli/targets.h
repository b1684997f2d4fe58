// The walk thread's part: every path of the command line, or of the list
// of --files0-from, turned into targets in output order and added to the
// window, a directory's files as its walk finds them.
#pragma once

#include "options.h"
#include "walk.h"
#include "window.h"

namespace cli {

// Adds the targets of every path, then completes the window. `inputClosed`:
// standard input was closed at start. `allowance`: the descriptors each
// walk may hold.
void addAllTargets(const Options &options, bool inputClosed, const WalkAllowance &allowance, Window &window);

} // namespace cli

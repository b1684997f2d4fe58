// The walk thread's part: every path of the command line, or of the list
// of --files0-from, turned into targets in output order and added to the
// window, a directory's files as its walk finds them.
#pragma once

#include "changes/changed_files.h"
#include "config/settings.h"
#include "options.h"
#include "find/walk.h"
#include "run/window.h"

namespace cli {

// Adds the targets of every path, then completes the window. `inputClosed`:
// standard input was closed at start. `allowance`: the descriptors each
// walk may hold. `changes`: with --new-from-rev, what changed; a file that
// did not is passed over. `settings`: those of each file, prepared.
void addAllTargets(const Options &options, bool inputClosed, const WalkAllowance &allowance,
                   const changed::ChangedFiles *changes, config::Settings &settings, Window &window);

} // namespace cli

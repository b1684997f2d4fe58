// A worker: takes targets from the window, measures each, and hands back
// what it made of it, until the window has no more.
#pragma once

#include "gate.h"
#include "stdstreams.h"
#include "window.h"

namespace cli {

// `countBytes`: learn each file's size, for the progress line. `gate`: with
// --max-symbols, where the diagnostics go; null otherwise.
void runWorker(Window &window, const ClosedAtStart &closed, bool countBytes, Gate *gate);

} // namespace cli

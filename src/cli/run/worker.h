// A worker: takes targets from the window, measures each, and hands back
// what it made of it, until the window has no more.
#pragma once

#include <functional>

#include "run/crew.h"
#include "report/gate.h"
#include "options.h"
#include "report/stdstreams.h"
#include "report/survey.h"
#include "run/window.h"

namespace cli {

// Each file is measured by the rules, the limit and the dialect of its
// settings (Request::settings).
// `countBytes`: learn each file's size, for the progress line. `gate`: with
// --max-symbols, where the diagnostics go; null otherwise. `survey`: with
// --histogram or --top, what the worker's tally of lines is handed over
// to when it ends; null otherwise.
// `splitLarge`: a file of 4 MiB or more may be scanned in two halves side by
// side (by C's rules, without a gate). `crew`: the worker's own, told of
// each read that would wait for the disk.
// `options`: the suffixes read as C++ besides those compilers know.
void runWorker(Window &window, const ClosedAtStart &closed, const Options &options, bool countBytes, GateRun *gate,
               Survey *survey, bool splitLarge, Crew &crew);

// Measures the targets of a complete window on the calling thread, one
// after the other, without a gate. `between` is called before each target
// is measured, once what came before it is recorded in the window.
void measureInTurn(Window &window, const ClosedAtStart &closed, const Options &options, bool splitLarge,
                   const std::function<void()> &between);

} // namespace cli

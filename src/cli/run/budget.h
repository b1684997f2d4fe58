// How many workers, slots and directories a run may hold: all the
// arithmetic on the process's descriptors, done once at the start.
#pragma once

#include <cstddef>

#include "find/walk.h"

namespace cli {

struct Budget {
    unsigned workers;         // the most
    unsigned startingWorkers; // those that start at once: one a processor
    std::size_t slots; // of the window
    WalkAllowance walk;
    bool splitLarge; // a large file may be scanned in two halves side by side
};

// The budget for -j `jobs` (0 for the default) under the process's limit
// on descriptors and those it has open now.
Budget budgetFor(unsigned jobs);

// Descriptors this process may still open: its limit, less those open now.
std::size_t spareDescriptors();

} // namespace cli

// The entry points of each instruction set. Each set's file defines its own,
// compiled for that set, and the dispatch picks one; no other code of a set
// is reached from outside it, so that no instruction of a wider set runs on
// a processor without it.
#pragma once

#include <cstddef>

#include "c_rules.h"
#include "counting.h"

// Every function of a set's code but its entry points is inlined into them,
// so that each entry point is one piece of straight code for its set, as
// fast as the rules allow.
#define CMEASURE_INLINE [[gnu::always_inline]] inline

struct EntryPoints {
    int (*symbols)(const char *line);
    int (*identifiers)(const char *line, bool &in_comment);
    Scan (*scan)(TextInput &input, char *line);
    Scan (*scanReporting)(TextInput &input, char *line, const PieceLimit &limit);
    void (*feedC)(crules::State &state, const unsigned char *bytes, std::size_t length);
    void (*finishC)(crules::State &state);
};

// The entry points of a set, and of the set the counters use.
namespace dispatch {
const EntryPoints &entryPointsOf(InstructionSet set);
InstructionSet setInUse();
} // namespace dispatch

extern const EntryPoints PORTABLE_ENTRY_POINTS;
extern const EntryPoints PORTABLE32_ENTRY_POINTS;
extern const EntryPoints PORTABLE64_ENTRY_POINTS;
#if defined(__x86_64__)
extern const EntryPoints SSE2_ENTRY_POINTS;
extern const EntryPoints AVX2_ENTRY_POINTS;
extern const EntryPoints AVX512_ENTRY_POINTS;
#endif

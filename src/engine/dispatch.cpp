// Which instruction set the counters read text with: the processor's widest
// unless one is chosen by name, and the calls that go to its entry points.
#include <cstring>

#include "counting.h"
#include "entry_points.h"

namespace dispatch {

const EntryPoints &entryPointsOf(InstructionSet set)
{
    switch (set) {
    case InstructionSet::Portable: return PORTABLE_ENTRY_POINTS;
    case InstructionSet::Portable32: return PORTABLE32_ENTRY_POINTS;
    case InstructionSet::Portable64: return PORTABLE64_ENTRY_POINTS;
#if defined(__x86_64__)
    case InstructionSet::Sse2: return SSE2_ENTRY_POINTS;
    case InstructionSet::Avx2: return AVX2_ENTRY_POINTS;
    case InstructionSet::Avx512: return AVX512_ENTRY_POINTS;
#else
    default: break;
#endif
    }
    return PORTABLE_ENTRY_POINTS;
}

namespace {

// The set chosen by name, if any; written once at the start, before any
// count and any thread.
bool chosen = false;
InstructionSet chosenSet = InstructionSet::Portable;

} // namespace

InstructionSet setInUse()
{
    static const InstructionSet widest = widestInstructionSet();
    return chosen ? chosenSet : widest;
}

} // namespace dispatch

namespace {

using dispatch::entryPointsOf;

const EntryPoints &entryPointsInUse()
{
    return entryPointsOf(dispatch::setInUse());
}

} // namespace

bool processorRuns(InstructionSet set)
{
    switch (set) {
#if defined(__x86_64__)
    case InstructionSet::Sse2:
#endif
    case InstructionSet::Portable:
    case InstructionSet::Portable32:
    case InstructionSet::Portable64:
        return true;
#if defined(__x86_64__)
    case InstructionSet::Avx2:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("popcnt");
    case InstructionSet::Avx512:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("bmi") && __builtin_cpu_supports("popcnt");
#endif
    default:
        return false;
    }
}

InstructionSet widestInstructionSet()
{
    for (InstructionSet set : {InstructionSet::Avx512, InstructionSet::Avx2, InstructionSet::Sse2})
        if (processorRuns(set))
            return set;
    return InstructionSet::Portable;
}

const char *nameOf(InstructionSet set)
{
    switch (set) {
    case InstructionSet::Portable: return "portable";
    case InstructionSet::Portable32: return "portable32";
    case InstructionSet::Portable64: return "portable64";
    case InstructionSet::Sse2: return "sse2";
    case InstructionSet::Avx2: return "avx2";
    case InstructionSet::Avx512: return "avx512";
    }
    return "";
}

SetChoice chooseInstructionSet(const char *name)
{
    if (name == nullptr || *name == '\0') {
        dispatch::chosen = false;
        return SetChoice::Chosen;
    }
    for (InstructionSet set : INSTRUCTION_SETS) {
        if (std::strcmp(name, nameOf(set)) != 0)
            continue;
        if (!processorRuns(set))
            return SetChoice::NotRun;
        dispatch::chosen = true;
        dispatch::chosenSet = set;
        return SetChoice::Chosen;
    }
    return SetChoice::Unknown;
}

int countSymbols(const char *line)
{
    return entryPointsInUse().symbols(line);
}

int countSymbols(const char *line, InstructionSet set)
{
    return entryPointsOf(set).symbols(line);
}

int countIdentifiers(const char *line, bool &in_comment)
{
    return entryPointsInUse().identifiers(line, in_comment);
}

int countIdentifiers(const char *line, bool &in_comment, InstructionSet set)
{
    return entryPointsOf(set).identifiers(line, in_comment);
}

Scan scanLines(TextInput &input, char *line)
{
    return entryPointsInUse().scan(input, line);
}

Scan scanLines(TextInput &input, char *line, InstructionSet set)
{
    return entryPointsOf(set).scan(input, line);
}

Scan scanLines(TextInput &input, char *line, const PieceLimit &limit)
{
    return entryPointsInUse().scanReporting(input, line, limit);
}

Scan scanLines(TextInput &input, char *line, const PieceLimit &limit, InstructionSet set)
{
    return entryPointsOf(set).scanReporting(input, line, limit);
}

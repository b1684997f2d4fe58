// GoogleTest shows a parameter it cannot print as a dump of its bytes; an
// instruction set is shown by the name CMEASURE_SIMD takes instead, so that
// ctest's lines say which set a case ran with.
#pragma once

#include <ostream>

#include "counting.h"

inline void PrintTo(InstructionSet set, std::ostream *os)
{
    *os << nameOf(set);
}

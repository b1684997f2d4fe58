// Which characters beyond ASCII begin an identifier, and which are white
// space. Any other character beyond ASCII continues an identifier or a
// pp-number once begun, as compilers read on through a character they would
// reject, so that a typo costs one diagnostic rather than a cascade.
#pragma once

#include <cstdint>

namespace crules {

// In C, the characters of C11's annex D less its combining marks; in C++,
// those with Unicode's property XID_Start.
bool beginsIdentifier(std::uint32_t codePoint, bool cpp);
// Spaces beyond ASCII (U+00A0 and the like), which separate tokens.
bool unicodeSpace(std::uint32_t codePoint);

} // namespace crules

// The portable blocks: bytes classified one at a time through a table, for
// any processor. The counting rules are compiled for blocks of 16 bytes,
// the set used where no other is, and of 32 and 64 bytes, so that the code
// that depends on the width of a block is tested on every processor.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "counting.h"
#include "c_unicode.h"
#include "entry_points.h"

namespace {
namespace portable {

#include "generic/masks.h"

enum : unsigned char { BLANK = 1, IDENT = 2, WORD = 4, OPENER = 8, CLOSER = 16 };

constexpr std::array<unsigned char, 256> classesOfBytes()
{
    std::array<unsigned char, 256> classes{};
    for (int c = 'a'; c <= 'z'; c++)
        classes[c] = classes[c - 'a' + 'A'] = IDENT | WORD;
    for (int c = '0'; c <= '9'; c++)
        classes[c] = IDENT;
    classes['_'] = IDENT | WORD;
    classes[' '] = classes[0] = BLANK;
    classes['/'] = OPENER;
    classes['*'] = CLOSER;
    classes['"'] = OPENER | CLOSER;
    return classes;
}

constexpr std::array<unsigned char, 256> BYTE_CLASS = classesOfBytes();

CMEASURE_INLINE std::uint64_t wordAt(const unsigned char *bytes, int word)
{
    std::uint64_t value;
    std::memcpy(&value, bytes + static_cast<std::size_t>(word) * 8, 8);
    return value;
}

template <int BYTES> struct BytewiseBlocks {
    static constexpr int WIDTH = BYTES;
    static constexpr bool POPCNT = false;

    CMEASURE_INLINE static bool allZero(const unsigned char *group)
    {
        std::uint64_t any = 0;
        for (int word = 0; word < 8; word++)
            any |= wordAt(group, word);
        return any == 0;
    }

    CMEASURE_INLINE static std::uint64_t equal(const unsigned char *block, unsigned char byte)
    {
        std::uint64_t found = 0;
        for (int k = 0; k < WIDTH; k++)
            found |= std::uint64_t{block[k] == byte} << k;
        return found;
    }

    CMEASURE_INLINE static Masks classify(const unsigned char *block)
    {
        Masks masks{};
        for (int k = 0; k < WIDTH; k++) {
            const unsigned c = BYTE_CLASS[block[k]];
            masks.blank |= std::uint64_t{(c & BLANK) != 0} << k;
            masks.ident |= std::uint64_t{(c & IDENT) != 0} << k;
            masks.word |= std::uint64_t{(c & WORD) != 0} << k;
            masks.opener |= std::uint64_t{(c & OPENER) != 0} << k;
            masks.closer |= std::uint64_t{(c & CLOSER) != 0} << k;
        }
        return masks;
    }
};

namespace width16 {
using Blocks = BytewiseBlocks<16>;
#include "generic/counting_rules.h"
} // namespace width16

namespace width32 {
using Blocks = BytewiseBlocks<32>;
#include "generic/counting_rules.h"
} // namespace width32

namespace width64 {
using Blocks = BytewiseBlocks<64>;
#include "generic/counting_rules.h"
} // namespace width64

} // namespace portable
} // namespace

extern const EntryPoints PORTABLE_ENTRY_POINTS = portable::width16::ENTRY_POINTS;
extern const EntryPoints PORTABLE32_ENTRY_POINTS = portable::width32::ENTRY_POINTS;
extern const EntryPoints PORTABLE64_ENTRY_POINTS = portable::width64::ENTRY_POINTS;

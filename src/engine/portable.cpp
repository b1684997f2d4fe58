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

// The classes of C's rules, one bit each.
constexpr unsigned C_LF = 1, C_BLANK = 2, C_SPACE = 4, C_HIGH = 8, C_WORD = 16, C_ALNUM_DOT = 32, C_STAR = 64,
                   C_ENDS = 128, C_LITERAL = 256, C_DIGIT = 512, C_SPECIAL = 1024, C_JOIN = 2048;

constexpr std::array<std::uint16_t, 256> cClassesOfBytes()
{
    std::array<std::uint16_t, 256> classes{};
    for (int c = 0; c < 256; c++) {
        unsigned bits = 0;
        const bool space = c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == 0;
        const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        const bool ends = c == '\\' || c == '\n' || c == '\r';
        bits |= c == '\n' ? C_LF : 0u;
        bits |= space || c == '\n' || c == '\r' ? C_BLANK : 0u;
        bits |= space ? C_SPACE : 0u;
        bits |= c >= 0x80 ? C_HIGH : 0u;
        bits |= alnum || c == '_' ? C_WORD : 0u;
        bits |= alnum || c == '.' ? C_ALNUM_DOT : 0u;
        bits |= c == '*' ? C_STAR : 0u;
        bits |= ends ? C_ENDS : 0u;
        bits |= ends || c == '"' || c == '\'' ? C_LITERAL : 0u;
        bits |= c >= '0' && c <= '9' ? C_DIGIT : 0u;
        bits |= c >= 0x80 || std::string_view{"/\"'\\\r#%$"}.find(static_cast<char>(c)) != std::string_view::npos
                    ? C_SPECIAL
                    : 0u;
        bits |= c == '.' || c == '+' || c == '-' ? C_JOIN : 0u;
        classes[c] = static_cast<std::uint16_t>(bits);
    }
    return classes;
}

constexpr std::array<std::uint16_t, 256> C_BYTE_CLASS = cClassesOfBytes();

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

    CMEASURE_INLINE static CMasks classifyC(const unsigned char *block)
    {
        CMasks masks{};
        for (int k = 0; k < WIDTH; k++) {
            const unsigned c = C_BYTE_CLASS[block[k]];
            const auto bit = [&](unsigned mask) { return std::uint64_t{(c & mask) != 0} << k; };
            masks.lf |= bit(C_LF);
            masks.blank |= bit(C_BLANK);
            masks.space |= bit(C_SPACE);
            masks.high |= bit(C_HIGH);
            masks.word |= bit(C_WORD);
            masks.alnumDot |= bit(C_ALNUM_DOT);
            masks.star |= bit(C_STAR);
            masks.ends |= bit(C_ENDS);
            masks.literal |= bit(C_LITERAL);
            masks.digit |= bit(C_DIGIT);
            masks.special |= bit(C_SPECIAL);
            masks.join |= bit(C_JOIN);
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

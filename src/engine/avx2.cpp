// The AVX2 blocks: 32 bytes at a time. Everything in the region below is
// compiled for AVX2, BMI and POPCNT, and is reached only through
// AVX2_ENTRY_POINTS, which the dispatch takes only on a processor that has
// them. The headers, the standard ones above all, are included before the
// region, so that no inline function they define is compiled for AVX2 and
// then chosen by the linker for code that runs anywhere.
#if defined(__x86_64__)
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include <immintrin.h>

#include "counting.h"
#include "c_unicode.h"
#include "entry_points.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,bmi,popcnt"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,bmi,popcnt")
#endif

namespace {
namespace avx2 {

#include "generic/masks.h"

// Each byte's classes as the bits of one byte, looked up by its low and
// its high four bits: a byte is in a class when both tables hold the
// class's bit at its halves. A byte beyond ASCII looks up a zero low
// entry. Each class's bytes are exactly the pairs of its halves: ' ' and 0,
// '/' and '"', '*' and '"'; the letters in two halves (A-O and a-o, P-Z
// and p-z), '_', and the digits.
enum Class : unsigned char {
    BLANK = 0x80, OPENER = 0x20, CLOSER = 0x10,
    LETTER_LOW = 0x08, LETTER_HIGH = 0x04, UNDERSCORE = 0x02, DIGIT = 0x01,
    WORD = LETTER_LOW | LETTER_HIGH | UNDERSCORE, IDENT = WORD | DIGIT,
};

constexpr std::array<unsigned char, 32> classTable(bool high)
{
    std::array<unsigned char, 32> table{};
    for (int byte = 0; byte < 128; byte++) {
        const bool letter = (byte | 0x20) >= 'a' && (byte | 0x20) <= 'z';
        const int classes = (byte == ' ' || byte == 0 ? BLANK : 0) | (byte == '/' || byte == '"' ? OPENER : 0) |
                            (byte == '*' || byte == '"' ? CLOSER : 0) |
                            (letter && (byte & 0x1F) < 0x10 ? LETTER_LOW : 0) |
                            (letter && (byte & 0x1F) >= 0x10 ? LETTER_HIGH : 0) |
                            (byte == '_' ? UNDERSCORE : 0) | (byte >= '0' && byte <= '9' ? DIGIT : 0);
        const int at = high ? byte >> 4 : byte & 15;
        table[at] = table[16 + at] = static_cast<unsigned char>(table[at] | classes);
    }
    return table;
}
alignas(32) constexpr std::array<unsigned char, 32> LOW_CLASSES = classTable(false);
alignas(32) constexpr std::array<unsigned char, 32> HIGH_CLASSES = classTable(true);

// As the SSE2 blocks (see sse2.cpp), 32 bytes at a time.
struct Blocks {
    static constexpr int WIDTH = 32;
    static constexpr bool POPCNT = true;

    CMEASURE_INLINE static __m256i load(const unsigned char *block)
    {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block));
    }

    CMEASURE_INLINE static std::uint64_t bitsOf(__m256i bytes)
    {
        return static_cast<unsigned>(_mm256_movemask_epi8(bytes));
    }

    CMEASURE_INLINE static __m256i is(__m256i bytes, char byte)
    {
        return _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(byte));
    }

    template <char LOW, char COUNT> CMEASURE_INLINE static __m256i inRange(__m256i bytes)
    {
        const __m256i moved = _mm256_add_epi8(bytes, _mm256_set1_epi8(static_cast<char>(0x80 - LOW)));
        return _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(-0x80 + COUNT)), moved);
    }

    CMEASURE_INLINE static std::uint64_t equal(const unsigned char *block, unsigned char byte)
    {
        return bitsOf(is(load(block), static_cast<char>(byte)));
    }

    CMEASURE_INLINE static bool allZero(const unsigned char *group)
    {
        const __m256i any = _mm256_or_si256(load(group), load(group + 32));
        return _mm256_testz_si256(any, any) != 0;
    }

    CMEASURE_INLINE static __m256i table(const std::array<unsigned char, 32> &entries)
    {
        return _mm256_load_si256(reinterpret_cast<const __m256i *>(entries.data()));
    }

    // The bytes whose classes include one of `CLASSES`.
    template <unsigned char CLASSES> CMEASURE_INLINE static std::uint64_t inClasses(__m256i classes)
    {
        const __m256i none = _mm256_cmpeq_epi8(_mm256_and_si256(classes, _mm256_set1_epi8(static_cast<char>(CLASSES))),
                                               _mm256_setzero_si256());
        return ~bitsOf(none) & 0xFFFFFFFF;
    }

    // The bytes in the class of one bit, `CLASS`: the bit moved up to each
    // byte's top.
    template <unsigned char CLASS> CMEASURE_INLINE static std::uint64_t inClass(__m256i classes)
    {
        return bitsOf(_mm256_slli_epi16(classes, std::countl_zero(CLASS)));
    }

    CMEASURE_INLINE static Masks classify(const unsigned char *block)
    {
        const __m256i bytes = load(block);
        const __m256i highHalves = _mm256_and_si256(_mm256_srli_epi16(bytes, 4), _mm256_set1_epi8(0x0F));
        const __m256i classes = _mm256_and_si256(_mm256_shuffle_epi8(table(LOW_CLASSES), bytes),
                                                 _mm256_shuffle_epi8(table(HIGH_CLASSES), highHalves));
        return {
            .blank = inClass<BLANK>(classes),
            .ident = inClasses<IDENT>(classes),
            .word = inClasses<WORD>(classes),
            .opener = inClass<OPENER>(classes),
            .closer = inClass<CLOSER>(classes),
        };
    }

    // The bytes of a set of at most one byte for each value of the low four
    // bits: byte b is in it when entry b & 15 of the table is b. The other
    // entries hold 0x80, which no byte with a different low half equals, and
    // a byte beyond ASCII looks up a zero, which it is not.
    template <unsigned char... BYTES> struct OneOf {
        static constexpr std::array<unsigned char, 32> tableOf()
        {
            std::array<unsigned char, 32> table{};
            table.fill(0x80);
            for (const unsigned char byte : {BYTES...})
                table[byte & 15] = table[16 + (byte & 15)] = byte;
            return table;
        }
        alignas(32) static constexpr std::array<unsigned char, 32> TABLE = tableOf();
    };

    template <unsigned char... BYTES> CMEASURE_INLINE static __m256i oneOf(__m256i bytes)
    {
        return _mm256_cmpeq_epi8(_mm256_shuffle_epi8(table(OneOf<BYTES...>::TABLE), bytes), bytes);
    }

    // The tests of C's masks, each on 32 bytes.
    CMEASURE_INLINE static __m256i alnum(__m256i bytes)
    {
        return _mm256_or_si256(inRange<'a', 26>(_mm256_or_si256(bytes, _mm256_set1_epi8(0x20))),
                               inRange<'0', 10>(bytes));
    }
    CMEASURE_INLINE static __m256i lf(__m256i bytes) { return is(bytes, '\n'); }
    CMEASURE_INLINE static __m256i blank(__m256i bytes)
    {
        return _mm256_or_si256(is(bytes, ' '), oneOf<0, '\t', '\n', '\v', '\f', '\r'>(bytes));
    }
    CMEASURE_INLINE static __m256i high(__m256i bytes) { return bytes; }
    CMEASURE_INLINE static __m256i word(__m256i bytes) { return _mm256_or_si256(alnum(bytes), is(bytes, '_')); }
    CMEASURE_INLINE static __m256i alnumDot(__m256i bytes) { return _mm256_or_si256(alnum(bytes), is(bytes, '.')); }
    CMEASURE_INLINE static __m256i star(__m256i bytes) { return is(bytes, '*'); }
    CMEASURE_INLINE static __m256i ends(__m256i bytes) { return oneOf<'\n', '\r', '\\'>(bytes); }
    CMEASURE_INLINE static __m256i literal(__m256i bytes) { return oneOf<'\n', '\r', '\\', '"', '\''>(bytes); }
    CMEASURE_INLINE static __m256i digit(__m256i bytes) { return inRange<'0', 10>(bytes); }
    CMEASURE_INLINE static __m256i special(__m256i bytes)
    {
        return _mm256_or_si256(bytes, oneOf<'/', '"', '\'', '\\', '\r', '#', '%', '$'>(bytes));
    }
    CMEASURE_INLINE static __m256i join(__m256i bytes) { return oneOf<'.', '+', '-'>(bytes); }

    // Both halves of a group through one test: its mask of 64 bits.
    template <__m256i (*TEST)(__m256i)> CMEASURE_INLINE static std::uint64_t both(__m256i lower, __m256i upper)
    {
        return bitsOf(TEST(lower)) | bitsOf(TEST(upper)) << 32;
    }

    // C's masks of a group, a mask of both halves at a time: each needs its
    // two vectors of bytes and its own, where the twelve masks of a half at
    // once outgrow the sixteen vector registers and spill. The spaces are
    // the blanks but the line ends, as no blank is a backslash.
    CMEASURE_INLINE static CMasks classifyGroupC(const unsigned char *group)
    {
        const __m256i lower = load(group);
        const __m256i upper = load(group + 32);
        const std::uint64_t blanks = both<blank>(lower, upper);
        const std::uint64_t lineEnds = both<ends>(lower, upper);
        return {.lf = both<lf>(lower, upper),
                .blank = blanks,
                .space = blanks & ~lineEnds,
                .high = both<high>(lower, upper),
                .word = both<word>(lower, upper),
                .alnumDot = both<alnumDot>(lower, upper),
                .star = both<star>(lower, upper),
                .ends = lineEnds,
                .literal = both<literal>(lower, upper),
                .digit = both<digit>(lower, upper),
                .special = both<special>(lower, upper),
                .join = both<join>(lower, upper)};
    }
};

#include "generic/counting_rules.h"

} // namespace avx2
} // namespace

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

extern const EntryPoints AVX2_ENTRY_POINTS = avx2::ENTRY_POINTS;
#endif

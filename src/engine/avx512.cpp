// The AVX-512 blocks: 64 bytes at a time. As in avx2.cpp, everything in the
// region below is compiled for its set (AVX-512 F and BW, BMI, POPCNT) and
// reached only through AVX512_ENTRY_POINTS; every header is included before
// the region.
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
#pragma clang attribute push(__attribute__((target("avx512f,avx512bw,bmi,popcnt"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,bmi,popcnt")
#endif

namespace {
namespace avx512 {

#include "generic/masks.h"

// AVX-512 compares straight into bit masks, and has unsigned compares, so a
// range is one subtraction and one compare.
struct Blocks {
    static constexpr int WIDTH = 64;
    static constexpr bool POPCNT = true;

    CMEASURE_INLINE static std::uint64_t is(__m512i bytes, char byte)
    {
        return _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(byte));
    }

    template <char LOW, char COUNT> CMEASURE_INLINE static std::uint64_t inRange(__m512i bytes)
    {
        return _mm512_cmplt_epu8_mask(_mm512_sub_epi8(bytes, _mm512_set1_epi8(LOW)), _mm512_set1_epi8(COUNT));
    }

    CMEASURE_INLINE static std::uint64_t equal(const unsigned char *block, unsigned char byte)
    {
        return is(_mm512_loadu_si512(block), static_cast<char>(byte));
    }

    CMEASURE_INLINE static bool allZero(const unsigned char *group)
    {
        const __m512i bytes = _mm512_loadu_si512(group);
        return _mm512_test_epi8_mask(bytes, bytes) == 0;
    }

    CMEASURE_INLINE static Masks classify(const unsigned char *block)
    {
        const __m512i bytes = _mm512_loadu_si512(block);
        const std::uint64_t letter = inRange<'a', 26>(_mm512_or_si512(bytes, _mm512_set1_epi8(0x20)));
        const std::uint64_t word = letter | is(bytes, '_');
        const std::uint64_t quote = is(bytes, '"');
        return {
            .blank = is(bytes, ' ') | _mm512_testn_epi8_mask(bytes, bytes),
            .ident = word | inRange<'0', 10>(bytes),
            .word = word,
            .opener = is(bytes, '/') | quote,
            .closer = is(bytes, '*') | quote,
        };
    }

    // The bytes of a set of at most one byte for each value of the low four
    // bits: byte b is in it when entry b & 15 of the table is b. The other
    // entries hold 0x80, which no byte with a different low half equals, and
    // a byte beyond ASCII looks up a zero, which it is not.
    template <unsigned char... BYTES> struct OneOf {
        static constexpr std::array<unsigned char, 64> tableOf()
        {
            std::array<unsigned char, 64> table{};
            table.fill(0x80);
            for (const unsigned char byte : {BYTES...})
                for (int lane = 0; lane < 64; lane += 16)
                    table[lane + (byte & 15)] = byte;
            return table;
        }
        alignas(64) static constexpr std::array<unsigned char, 64> TABLE = tableOf();
    };

    template <unsigned char... BYTES> CMEASURE_INLINE static std::uint64_t oneOf(__m512i bytes)
    {
        const __m512i table = _mm512_load_si512(OneOf<BYTES...>::TABLE.data());
        return _mm512_cmpeq_epi8_mask(_mm512_shuffle_epi8(table, bytes), bytes);
    }

    // C's masks of a group: a set of several bytes is one table lookup and
    // one compare rather than a compare for each byte.
    CMEASURE_INLINE static CMasks classifyC(const unsigned char *block)
    {
        const __m512i bytes = _mm512_loadu_si512(block);
        const std::uint64_t letter = inRange<'a', 26>(_mm512_or_si512(bytes, _mm512_set1_epi8(0x20)));
        const std::uint64_t digit = inRange<'0', 10>(bytes);
        const std::uint64_t alnum = letter | digit;
        const std::uint64_t high = _mm512_movepi8_mask(bytes);
        const std::uint64_t lf = is(bytes, '\n');
        const std::uint64_t blank = is(bytes, ' ') | oneOf<0, '\t', '\n', '\v', '\f', '\r'>(bytes);
        const std::uint64_t ends = oneOf<'\n', '\r', '\\'>(bytes);
        return {
            .lf = lf,
            .blank = blank,
            .space = blank & ~ends,
            .high = high,
            .word = alnum | is(bytes, '_'),
            .alnumDot = alnum | is(bytes, '.'),
            .star = is(bytes, '*'),
            .ends = ends,
            .literal = oneOf<'\n', '\r', '\\', '"', '\''>(bytes),
            .digit = digit,
            .special = high | oneOf<'/', '"', '\'', '\\', '\r', '#', '%', '$'>(bytes),
            .join = oneOf<'.', '+', '-'>(bytes),
        };
    }
};

#include "generic/counting_rules.h"

} // namespace avx512
} // namespace

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

extern const EntryPoints AVX512_ENTRY_POINTS = avx512::ENTRY_POINTS;
#endif

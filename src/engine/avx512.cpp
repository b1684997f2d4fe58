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

    CMEASURE_INLINE static CMasks classifyC(const unsigned char *block)
    {
        const __m512i bytes = _mm512_loadu_si512(block);
        const std::uint64_t letter = inRange<'a', 26>(_mm512_or_si512(bytes, _mm512_set1_epi8(0x20)));
        const std::uint64_t digit = inRange<'0', 10>(bytes);
        const std::uint64_t alnum = letter | digit;
        const std::uint64_t space = is(bytes, ' ') | _mm512_testn_epi8_mask(bytes, bytes) | is(bytes, '\t') |
                                    inRange<'\v', 2>(bytes);
        const std::uint64_t lf = is(bytes, '\n');
        const std::uint64_t lines = lf | is(bytes, '\r');
        const std::uint64_t ends = lines | is(bytes, '\\');
        return {
            .lf = lf,
            .blank = space | lines,
            .space = space,
            .high = _mm512_movepi8_mask(bytes),
            .word = alnum | is(bytes, '_'),
            .alnumDot = alnum | is(bytes, '.'),
            .star = is(bytes, '*'),
            .ends = ends,
            .literal = ends | is(bytes, '"') | is(bytes, '\''),
            .digit = digit,
            .special = _mm512_movepi8_mask(bytes) | (ends & ~lf) | is(bytes, '"') | is(bytes, '\'') | is(bytes, '/') |
                       is(bytes, '#') | is(bytes, '%') | is(bytes, '$'),
            .join = is(bytes, '.') | is(bytes, '+') | is(bytes, '-'),
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

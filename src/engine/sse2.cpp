// The SSE2 blocks: 16 bytes at a time, on every x86-64 processor. SSE2 is
// part of the baseline the program is built for, so this file needs no
// target region.
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

namespace {
namespace sse2 {

#include "generic/masks.h"

// A byte x lies in [low, low + count) when x + (0x80 - low), taken as a
// signed byte, is below -0x80 + count: the addition moves the range to the
// bottom of the signed bytes, and every other byte above it. With 0x20 set,
// exactly the capital letters become small ones, so one range finds both.
struct Blocks {
    static constexpr int WIDTH = 16;
    static constexpr bool POPCNT = false;

    CMEASURE_INLINE static __m128i load(const unsigned char *block)
    {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(block));
    }

    CMEASURE_INLINE static std::uint64_t bitsOf(__m128i bytes)
    {
        return static_cast<unsigned>(_mm_movemask_epi8(bytes));
    }

    CMEASURE_INLINE static __m128i is(__m128i bytes, char byte)
    {
        return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(byte));
    }

    template <char LOW, char COUNT> CMEASURE_INLINE static __m128i inRange(__m128i bytes)
    {
        const __m128i moved = _mm_add_epi8(bytes, _mm_set1_epi8(static_cast<char>(0x80 - LOW)));
        return _mm_cmplt_epi8(moved, _mm_set1_epi8(static_cast<char>(-0x80 + COUNT)));
    }

    CMEASURE_INLINE static std::uint64_t equal(const unsigned char *block, unsigned char byte)
    {
        return bitsOf(is(load(block), static_cast<char>(byte)));
    }

    CMEASURE_INLINE static bool allZero(const unsigned char *group)
    {
        const __m128i any = _mm_or_si128(_mm_or_si128(load(group), load(group + 16)),
                                         _mm_or_si128(load(group + 32), load(group + 48)));
        return bitsOf(is(any, 0)) == 0xFFFF;
    }

    CMEASURE_INLINE static Masks classify(const unsigned char *block)
    {
        const __m128i bytes = load(block);
        const __m128i letter = inRange<'a', 26>(_mm_or_si128(bytes, _mm_set1_epi8(0x20)));
        const __m128i word = _mm_or_si128(letter, is(bytes, '_'));
        const __m128i quote = is(bytes, '"');
        return {
            .blank = bitsOf(_mm_or_si128(is(bytes, ' '), is(bytes, 0))),
            .ident = bitsOf(_mm_or_si128(word, inRange<'0', 10>(bytes))),
            .word = bitsOf(word),
            .opener = bitsOf(_mm_or_si128(is(bytes, '/'), quote)),
            .closer = bitsOf(_mm_or_si128(is(bytes, '*'), quote)),
        };
    }

    CMEASURE_INLINE static CMasks classifyC(const unsigned char *block)
    {
        const __m128i bytes = load(block);
        const __m128i letter = inRange<'a', 26>(_mm_or_si128(bytes, _mm_set1_epi8(0x20)));
        const __m128i digit = inRange<'0', 10>(bytes);
        const __m128i alnum = _mm_or_si128(letter, digit);
        const __m128i space = _mm_or_si128(_mm_or_si128(is(bytes, ' '), is(bytes, 0)),
                                          _mm_or_si128(inRange<'\t', 1>(bytes), inRange<'\v', 2>(bytes)));
        const __m128i lf = is(bytes, '\n');
        const __m128i cr = is(bytes, '\r');
        const __m128i crOrBackslash = _mm_or_si128(cr, is(bytes, '\\'));
        const __m128i ends = _mm_or_si128(lf, crOrBackslash);
        const __m128i quotes = _mm_or_si128(is(bytes, '"'), is(bytes, '\''));
        const __m128i marks = _mm_or_si128(_mm_or_si128(is(bytes, '/'), is(bytes, '#')),
                                           _mm_or_si128(is(bytes, '%'), is(bytes, '$')));
        return {
            .lf = bitsOf(lf),
            .blank = bitsOf(_mm_or_si128(space, _mm_or_si128(lf, cr))),
            .space = bitsOf(space),
            .high = bitsOf(bytes),
            .word = bitsOf(_mm_or_si128(alnum, is(bytes, '_'))),
            .alnumDot = bitsOf(_mm_or_si128(alnum, is(bytes, '.'))),
            .star = bitsOf(is(bytes, '*')),
            .ends = bitsOf(ends),
            .literal = bitsOf(_mm_or_si128(ends, quotes)),
            .digit = bitsOf(digit),
            .special = bitsOf(_mm_or_si128(_mm_or_si128(bytes, crOrBackslash), _mm_or_si128(quotes, marks))),
            .join = bitsOf(_mm_or_si128(_mm_or_si128(is(bytes, '.'), is(bytes, '+')), is(bytes, '-'))),
        };
    }
};

#include "generic/counting_rules.h"

} // namespace sse2
} // namespace

extern const EntryPoints SSE2_ENTRY_POINTS = sse2::ENTRY_POINTS;
#endif

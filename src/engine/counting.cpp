#include "counting.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// A line longer than this arrives in pieces of this many characters.
constexpr int PIECE = LINE_BUFFER_SIZE - 1;

const unsigned char *bytesOf(const char *text)
{
    return reinterpret_cast<const unsigned char *>(text);
}

// Text is read in blocks of up to 64 bytes, each described by bit masks with
// bit k standing for byte k of the block. How a block becomes masks is all
// that differs between instruction sets; the counting rules below see only
// the masks and the bytes.
struct Masks {
    std::uint64_t blank;  // ' ' or a zero byte: not a symbol
    std::uint64_t ident;  // a letter, digit or '_': continues an identifier
    std::uint64_t word;   // a letter or '_': may begin one
    std::uint64_t opener; // '/' or '"': may open a comment or string, or end the line
    std::uint64_t closer; // '*' or '"': may end a comment or string
};

// Bits 0 to n - 1.
std::uint64_t lowBits(int n)
{
    return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
}

// The position of the first bit of `mask` at or after `from`, which is below
// 64; 64 when there is none.
int firstBitFrom(std::uint64_t mask, int from)
{
    return std::countr_zero(mask & ~lowBits(from));
}

// Bits set in a 16-bit mask, for processors without a popcount instruction,
// where std::popcount becomes a library call: two looks in a table.
constexpr std::array<unsigned char, 256> BITS_IN_BYTE = [] {
    std::array<unsigned char, 256> bits{};
    for (int byte = 1; byte < 256; byte++)
        bits[byte] = static_cast<unsigned char>(bits[byte / 2] + (byte & 1));
    return bits;
}();

int bitsSetIn16(std::uint64_t mask)
{
    return BITS_IN_BYTE[mask & 0xFF] + BITS_IN_BYTE[(mask >> 8) & 0xFF];
}

// Bits set in a 64-bit mask without a popcount instruction: the bits are
// summed in pairs, then fours, then bytes, and the multiplication adds the
// eight byte sums into the top byte.
int bitsSetIn64(std::uint64_t mask)
{
    mask = mask - ((mask >> 1) & 0x5555555555555555);
    mask = (mask & 0x3333333333333333) + ((mask >> 2) & 0x3333333333333333);
    mask = (mask + (mask >> 4)) & 0x0F0F0F0F0F0F0F0F;
    return static_cast<int>((mask * 0x0101010101010101) >> 56);
}

std::uint64_t wordAt(const unsigned char *bytes, int word)
{
    std::uint64_t value;
    std::memcpy(&value, bytes + static_cast<std::size_t>(word) * 8, 8);
    return value;
}

// The portable blocks: 16 bytes, one at a time, through a table of classes.
enum : unsigned char { BLANK = 1, IDENT = 2, WORD = 4, OPENER = 8, CLOSER = 16 };

constexpr std::array<unsigned char, 256> BYTE_CLASS = [] {
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
}();

// Each kind of block has a WIDTH of 16, 32 or 64 bytes; POPCNT when its
// instruction set has the instruction; equal(), the bytes of a block equal to
// a given one; classify(), its Masks; and allZero(), whether 64 bytes are
// all zero.
struct PortableBlocks {
    static constexpr int WIDTH = 16;
    static constexpr bool POPCNT = false;

    static bool allZero(const unsigned char *group)
    {
        std::uint64_t any = 0;
        for (int word = 0; word < 8; word++)
            any |= wordAt(group, word);
        return any == 0;
    }

    static std::uint64_t equal(const unsigned char *block, unsigned char byte)
    {
        std::uint64_t found = 0;
        for (int k = 0; k < WIDTH; k++)
            found |= std::uint64_t{block[k] == byte} << k;
        return found;
    }

    static Masks classify(const unsigned char *block)
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

#if defined(__x86_64__)
// The x86-64 blocks: 16 bytes with SSE2, which every such processor has, and
// 32 with AVX2 or 64 with AVX-512 where the processor has them (see
// processorRuns). A function that uses a wider set carries it as a target
// attribute, so the rest of the program stays within SSE2.
#define CMEASURE_AVX2 "avx2,bmi,popcnt"
#define CMEASURE_AVX512 "avx512f,avx512bw,bmi,popcnt"

// A byte x lies in [low, low + count) when x + (0x80 - low), taken as a
// signed byte, is below -0x80 + count: the addition moves the range to the
// bottom of the signed bytes, and every other byte above it. With 0x20 set,
// exactly the capital letters become small ones, so one range finds both.
struct Sse2Blocks {
    static constexpr int WIDTH = 16;
    static constexpr bool POPCNT = false;

    static __m128i load(const unsigned char *block)
    {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(block));
    }

    static std::uint64_t bitsOf(__m128i bytes)
    {
        return static_cast<unsigned>(_mm_movemask_epi8(bytes));
    }

    static __m128i is(__m128i bytes, char byte)
    {
        return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(byte));
    }

    template <char LOW, char COUNT> static __m128i inRange(__m128i bytes)
    {
        const __m128i moved = _mm_add_epi8(bytes, _mm_set1_epi8(static_cast<char>(0x80 - LOW)));
        return _mm_cmplt_epi8(moved, _mm_set1_epi8(static_cast<char>(-0x80 + COUNT)));
    }

    static std::uint64_t equal(const unsigned char *block, unsigned char byte)
    {
        return bitsOf(is(load(block), static_cast<char>(byte)));
    }

    static bool allZero(const unsigned char *group)
    {
        const __m128i any = _mm_or_si128(_mm_or_si128(load(group), load(group + 16)),
                                         _mm_or_si128(load(group + 32), load(group + 48)));
        return bitsOf(is(any, 0)) == 0xFFFF;
    }

    static Masks classify(const unsigned char *block)
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
};

// The same as Sse2Blocks, 32 bytes at a time.
struct Avx2Blocks {
    static constexpr int WIDTH = 32;
    static constexpr bool POPCNT = true;

    [[gnu::target(CMEASURE_AVX2)]] static __m256i load(const unsigned char *block)
    {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block));
    }

    [[gnu::target(CMEASURE_AVX2)]] static std::uint64_t bitsOf(__m256i bytes)
    {
        return static_cast<unsigned>(_mm256_movemask_epi8(bytes));
    }

    [[gnu::target(CMEASURE_AVX2)]] static __m256i is(__m256i bytes, char byte)
    {
        return _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(byte));
    }

    template <char LOW, char COUNT> [[gnu::target(CMEASURE_AVX2)]] static __m256i inRange(__m256i bytes)
    {
        const __m256i moved = _mm256_add_epi8(bytes, _mm256_set1_epi8(static_cast<char>(0x80 - LOW)));
        return _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(-0x80 + COUNT)), moved);
    }

    [[gnu::target(CMEASURE_AVX2)]] static std::uint64_t equal(const unsigned char *block, unsigned char byte)
    {
        return bitsOf(is(load(block), static_cast<char>(byte)));
    }

    [[gnu::target(CMEASURE_AVX2)]] static bool allZero(const unsigned char *group)
    {
        const __m256i any = _mm256_or_si256(load(group), load(group + 32));
        return _mm256_testz_si256(any, any) != 0;
    }

    [[gnu::target(CMEASURE_AVX2)]] static Masks classify(const unsigned char *block)
    {
        const __m256i bytes = load(block);
        const __m256i letter = inRange<'a', 26>(_mm256_or_si256(bytes, _mm256_set1_epi8(0x20)));
        const __m256i word = _mm256_or_si256(letter, is(bytes, '_'));
        const __m256i quote = is(bytes, '"');
        return {
            .blank = bitsOf(_mm256_or_si256(is(bytes, ' '), is(bytes, 0))),
            .ident = bitsOf(_mm256_or_si256(word, inRange<'0', 10>(bytes))),
            .word = bitsOf(word),
            .opener = bitsOf(_mm256_or_si256(is(bytes, '/'), quote)),
            .closer = bitsOf(_mm256_or_si256(is(bytes, '*'), quote)),
        };
    }
};

// 64 bytes at a time: AVX-512 compares straight into bit masks, and has
// unsigned compares, so a range is one subtraction and one compare.
struct Avx512Blocks {
    static constexpr int WIDTH = 64;
    static constexpr bool POPCNT = true;

    [[gnu::target(CMEASURE_AVX512)]] static std::uint64_t is(__m512i bytes, char byte)
    {
        return _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(byte));
    }

    template <char LOW, char COUNT> [[gnu::target(CMEASURE_AVX512)]] static std::uint64_t inRange(__m512i bytes)
    {
        return _mm512_cmplt_epu8_mask(_mm512_sub_epi8(bytes, _mm512_set1_epi8(LOW)), _mm512_set1_epi8(COUNT));
    }

    [[gnu::target(CMEASURE_AVX512)]] static std::uint64_t equal(const unsigned char *block, unsigned char byte)
    {
        return is(_mm512_loadu_si512(block), static_cast<char>(byte));
    }

    [[gnu::target(CMEASURE_AVX512)]] static bool allZero(const unsigned char *group)
    {
        const __m512i bytes = _mm512_loadu_si512(group);
        return _mm512_test_epi8_mask(bytes, bytes) == 0;
    }

    [[gnu::target(CMEASURE_AVX512)]] static Masks classify(const unsigned char *block)
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
};
#endif

// Clang 14 flattens only the calls an entry point makes itself (see Counters),
// so for clang the templates that walk a line are inlined by force: their
// calls of the block functions then lie in the entry points, and are inlined
// there. The block functions cannot be forced, as these templates, compiled
// without their set, call them. GCC flattens all by itself, and forcing
// would keep it from inlining the block functions.
#if defined(__clang__)
#define WALK_INLINE [[gnu::always_inline]] inline
#else
#define WALK_INLINE
#endif

template <class Blocks> int bitsSet(std::uint64_t mask)
{
    static_assert(Blocks::POPCNT || Blocks::WIDTH <= 16);
    if constexpr (Blocks::POPCNT)
        return std::popcount(mask);
    else
        return bitsSetIn16(mask);
}

// Text to measure: `length` bytes, and zero fill after them up to
// LINE_BUFFER_SIZE positions. The first `readable` bytes, at least
// `length` and at least a block, may be read.
struct Text {
    const unsigned char *bytes;
    int length;
    int readable;
};

// Where the block at `at` is read from, and how far its masks move down:
// a block that would reach past the readable bytes is read as the last
// block within them, and its masks moved down to start at `at`. The bits
// moved in at the top stand for no byte, and nothing looks at them, as
// text ends within the readable bytes.
template <class Blocks> int readFrom(const Text &text, int at)
{
    return std::min(at, text.readable - Blocks::WIDTH);
}

template <class Blocks> Masks classifyAt(const Text &text, int at)
{
    const int from = readFrom<Blocks>(text, at);
    const Masks masks = Blocks::classify(text.bytes + from);
    const int shift = at - from;
    return {masks.blank >> shift, masks.ident >> shift, masks.word >> shift, masks.opener >> shift,
            masks.closer >> shift};
}

template <class Blocks, unsigned char BYTE> std::uint64_t equalAt(const Text &text, int at)
{
    const int from = readFrom<Blocks>(text, at);
    return Blocks::equal(text.bytes + from, BYTE) >> (at - from);
}

// The zero bytes among the 64 at `group`, a block or several.
template <class Blocks> std::uint64_t zerosIn64(const unsigned char *group)
{
    std::uint64_t zeros = 0;
    for (int k = 0; k < 64; k += Blocks::WIDTH)
        zeros |= Blocks::equal(group + k, 0) << k;
    return zeros;
}

// The blanks among the 64 bytes at `group`: spaces and zero bytes.
template <class Blocks> std::uint64_t blanksIn64(const unsigned char *group)
{
    std::uint64_t blanks = 0;
    for (int k = 0; k < 64; k += Blocks::WIDTH)
        blanks |= (Blocks::equal(group + k, ' ') | Blocks::equal(group + k, 0)) << k;
    return blanks;
}

// Positions of `line` up to its last nonzero byte: everything after them is
// zero fill. Short lines are the rule, so the fill is skipped from the back,
// 64 bytes at a time; the last group looked at, at 0, overlaps the one
// after it, as 64 does not divide the line.
template <class Blocks> WALK_INLINE int textEnd(const unsigned char *line)
{
    for (int base = LINE_BUFFER_SIZE - 64;; base = std::max(base - 64, 0)) {
        if (!Blocks::allZero(line + base))
            return base + 64 - std::countl_zero(~zerosIn64<Blocks>(line + base));
        if (base == 0)
            return 0;
    }
}

// Where the identifier count of a line stands. Every rule acts on all
// positions of the line: the text is walked block by block, the zero fill
// after it settled at once.
struct LineWalk {
    const unsigned char *text;
    int length;                // of the text
    bool quoteFirst;           // the line begins with '"'
    bool inside;               // in a block comment or a string
    bool counting = true;      // no line comment yet
    std::uint64_t pending = 0; // 1 while an identifier runs up to the next position
    int identifiers = 0;
};

// A block of the text: its masks, and where it lies in the line.
struct Block {
    Masks masks;
    int base;  // position of its first byte
    int width; // bytes of text in it
};

// Positions [from, to) of a block.
struct Stretch {
    int from;
    int to;
};

// The byte after position `at`: past the text, the zero fill.
unsigned char byteAfter(const LineWalk &walk, int at)
{
    return at + 1 < walk.length ? walk.text[at + 1] : 0;
}

// Identifier ends in a stretch of a block. With ident the identifier
// characters of the stretch and word the letters and '_' among them, in
// ident + word a carry starts at every word bit and runs to the end of its
// run of ident bits, so it lands on exactly the separators that end an
// identifier; digits alone start none. A pending identifier enters as a
// carry at the start of the stretch, and the carry that reaches its end
// leaves as the identifier pending there. At bit 64 that carry leaves the
// word: it is where both addends had a bit, or either had one and the sum
// has none, as in any adder.
template <class Blocks> int identifierEnds(const Masks &masks, Stretch stretch, std::uint64_t &pending)
{
    const std::uint64_t bits = ~lowBits(stretch.from) & lowBits(stretch.to);
    const std::uint64_t ident = masks.ident & bits;
    const std::uint64_t word = masks.word & bits;
    const std::uint64_t sum = ident + word + (pending << stretch.from);
    pending = stretch.to < 64 ? (sum >> stretch.to) & 1 : ((ident & word) | ((ident | word) & ~sum)) >> 63;
    return bitsSet<Blocks>(sum & ~ident & bits);
}

// Inside a comment or string only '*' and '"' can end it: goes to the next one
// from position i of the block and settles it. On a line that begins with a
// quote the flag is cleared at every position, so a comment or string there
// hides just the one character at i. Returns the position to walk next.
int walkInside(LineWalk &walk, const Block &block, int i)
{
    if (!walk.quoteFirst && (i = firstBitFrom(block.masks.closer, i)) >= block.width)
        return block.width;
    const int at = block.base + i;
    const unsigned char c = walk.text[at];
    // A quote at position 0 makes quoteFirst true, so position -1 is never
    // read; the guard says so rather than rely on that.
    const bool quote_closes = c == '"' && at > 0 && walk.text[at - 1] != '/';
    if (walk.quoteFirst || (c == '*' && byteAfter(walk, at) == '/') || quote_closes)
        walk.inside = false;
    return i + 1;
}

// Outside comments and strings: counts the identifiers that end from
// position i of the block up to the next '/' or '"', and settles that.
// Returns the position to walk next.
template <class Blocks> int walkOutside(LineWalk &walk, const Block &block, int i)
{
    const int stop = std::min(firstBitFrom(block.masks.opener, i), block.width);
    walk.identifiers += identifierEnds<Blocks>(block.masks, {.from = i, .to = stop}, walk.pending);
    if (stop == block.width)
        return block.width;
    const int at = block.base + stop;
    const unsigned char next = byteAfter(walk, at);
    if (walk.text[at] == '"' || next == '*') {
        walk.inside = true; // an identifier pending here stays pending
    } else if (next == '/') {
        walk.counting = false; // the rest is a comment, and a pending identifier is lost
    } else {
        walk.identifiers += static_cast<int>(walk.pending); // a lone '/' separates
        walk.pending = 0;
    }
    return stop + 1;
}

// A line comment leaves the line outside comments and strings. Otherwise the
// zero fill after the text settles the line, from position `length` to its
// end: the first zero ends a pending identifier outside comments and
// strings; on a line that begins with a quote it clears the flag instead,
// and the zero after it, if the line has one, ends the identifier.
int finishLine(LineWalk &walk, bool &in_comment)
{
    if (!walk.counting) {
        in_comment = false;
        return walk.identifiers;
    }
    if (walk.length < LINE_BUFFER_SIZE) {
        if (!walk.inside || (walk.quoteFirst && walk.length + 1 < LINE_BUFFER_SIZE))
            walk.identifiers += static_cast<int>(walk.pending);
        walk.inside = walk.inside && !walk.quoteFirst;
    }
    in_comment = walk.inside;
    return walk.identifiers;
}

struct LineFigures {
    int symbols;
    int identifiers;
};

// Both figures of a line: one pass over its text, in blocks.
template <class Blocks> WALK_INLINE LineFigures measureText(const Text &text, bool &in_comment)
{
    LineWalk walk{.text = text.bytes,
                  .length = text.length,
                  .quoteFirst = text.length > 0 && text.bytes[0] == '"',
                  .inside = in_comment};
    int blanks = 0;
    for (int base = 0; base < text.length; base += Blocks::WIDTH) {
        const Block block{classifyAt<Blocks>(text, base), base, std::min(Blocks::WIDTH, text.length - base)};
        blanks += bitsSet<Blocks>(block.masks.blank & lowBits(block.width));
        for (int i = 0; walk.counting && i < block.width;)
            i = walk.inside ? walkInside(walk, block, i) : walkOutside<Blocks>(walk, block, i);
    }
    return {.symbols = text.length - blanks, .identifiers = finishLine(walk, in_comment)};
}

// The first `length` bytes of a zero-filled line buffer, all of which may be read.
Text textOf(const char *line, int length)
{
    static_assert(LINE_BUFFER_SIZE >= 64, "the buffer holds a block of any width");
    return {.bytes = bytesOf(line), .length = length, .readable = LINE_BUFFER_SIZE};
}

// The counters of the line buffer take its text to end at the last nonzero
// byte: zero bytes before it count just as the fill after it does.
// Spaces and zero bytes are the blanks; the rest are symbols. They are
// counted 64 bytes at a time, so that narrow blocks pay for a count once
// per four or two of them; a group that would reach past the buffer is
// read as its last group, moved down, as classifyAt does.
template <class Blocks> int symbolsWith(const char *line)
{
    const int length = textEnd<Blocks>(bytesOf(line));
    int blanks = 0;
    for (int base = 0; base < length; base += 64) {
        const int from = std::min(base, LINE_BUFFER_SIZE - 64);
        const std::uint64_t blank = blanksIn64<Blocks>(bytesOf(line) + from) >> (base - from);
        blanks += Blocks::POPCNT ? std::popcount(blank & lowBits(length - base))
                                 : bitsSetIn64(blank & lowBits(length - base));
    }
    return length - blanks;
}

template <class Blocks> int identifiersWith(const char *line, bool &in_comment)
{
    return measureText<Blocks>(textOf(line, textEnd<Blocks>(bytesOf(line))), in_comment).identifiers;
}

// The length of the line at `text`, measured in place: up to and including
// its newline, at most a piece. 0 when the `available` bytes hold neither, so
// that the next read may hold the rest, or are fewer than a block.
template <class Blocks> WALK_INLINE int lineLength(const unsigned char *text, int available)
{
    if (available < Blocks::WIDTH)
        return 0;
    const int limit = std::min(available, PIECE);
    const Text unread{.bytes = text, .length = limit, .readable = available};
    for (int base = 0; base < limit; base += Blocks::WIDTH) {
        const std::uint64_t newlines = equalAt<Blocks, '\n'>(unread, base) & lowBits(limit - base);
        if (newlines != 0)
            return base + std::countr_zero(newlines) + 1;
    }
    return limit == PIECE ? PIECE : 0;
}

void tally(FileFigures &figures, LineFigures line)
{
    figures.lines++;
    figures.identifiers += line.identifiers;
    if (line.symbols > figures.maxSymbols) {
        figures.maxSymbols = line.symbols;
        figures.lineWithMaxSymbols = figures.lines;
    }
}

// Lines are measured where the input holds them, each piece exactly as a line
// read would deliver it. A line that the next read completes is put together
// in `line` by one, and so are the lines in the last bytes of a read, fewer
// than a block. Of that buffer only the bytes the read wrote need zeroing
// again: the rest is still zero.
template <class Blocks> Scan scanWith(TextInput &input, char *line)
{
    Scan scan;
    bool inside = false;
    for (std::string_view unread; !(unread = input.unread()).empty();) {
        const unsigned char *text = bytesOf(unread.data());
        const int available = static_cast<int>(unread.size());
        int at = 0;
        for (int length; (length = lineLength<Blocks>(text + at, available - at)) > 0; at += length)
            tally(scan.figures, measureText<Blocks>({text + at, length, available - at}, inside));
        input.skip(static_cast<std::size_t>(at));
        if (at < available) {
            const int length = input.readLine(line, LINE_BUFFER_SIZE);
            tally(scan.figures, measureText<Blocks>(textOf(line, length), inside));
            std::memset(line, 0, static_cast<std::size_t>(length));
        }
    }
    scan.error = input.error();
    return scan;
}

// The entry points of each instruction set. Each is compiled for its set and
// flattened: what it calls, down to the block functions, is inlined into it,
// so that a popcount, say, becomes the instruction where the set has one,
// and no code of a wider set is reached except through these (see
// WALK_INLINE for clang).
struct Counters {
    int (*symbols)(const char *line);
    int (*identifiers)(const char *line, bool &in_comment);
    Scan (*scan)(TextInput &input, char *line);
};

[[gnu::flatten]] int symbolsPortable(const char *line)
{
    return symbolsWith<PortableBlocks>(line);
}

[[gnu::flatten]] int identifiersPortable(const char *line, bool &in_comment)
{
    return identifiersWith<PortableBlocks>(line, in_comment);
}

[[gnu::flatten]] Scan scanPortable(TextInput &input, char *line)
{
    return scanWith<PortableBlocks>(input, line);
}

#if defined(__x86_64__)
[[gnu::flatten]] int symbolsSse2(const char *line)
{
    return symbolsWith<Sse2Blocks>(line);
}

[[gnu::flatten]] int identifiersSse2(const char *line, bool &in_comment)
{
    return identifiersWith<Sse2Blocks>(line, in_comment);
}

[[gnu::flatten]] Scan scanSse2(TextInput &input, char *line)
{
    return scanWith<Sse2Blocks>(input, line);
}

[[gnu::flatten, gnu::target(CMEASURE_AVX2)]] int symbolsAvx2(const char *line)
{
    return symbolsWith<Avx2Blocks>(line);
}

[[gnu::flatten, gnu::target(CMEASURE_AVX2)]] int identifiersAvx2(const char *line, bool &in_comment)
{
    return identifiersWith<Avx2Blocks>(line, in_comment);
}

[[gnu::flatten, gnu::target(CMEASURE_AVX2)]] Scan scanAvx2(TextInput &input, char *line)
{
    return scanWith<Avx2Blocks>(input, line);
}

[[gnu::flatten, gnu::target(CMEASURE_AVX512)]] int symbolsAvx512(const char *line)
{
    return symbolsWith<Avx512Blocks>(line);
}

[[gnu::flatten, gnu::target(CMEASURE_AVX512)]] int identifiersAvx512(const char *line, bool &in_comment)
{
    return identifiersWith<Avx512Blocks>(line, in_comment);
}

[[gnu::flatten, gnu::target(CMEASURE_AVX512)]] Scan scanAvx512(TextInput &input, char *line)
{
    return scanWith<Avx512Blocks>(input, line);
}
#endif

const Counters &countersOf(InstructionSet set)
{
    static constexpr Counters PORTABLE = {symbolsPortable, identifiersPortable, scanPortable};
#if defined(__x86_64__)
    static constexpr Counters SSE2 = {symbolsSse2, identifiersSse2, scanSse2};
    static constexpr Counters AVX2 = {symbolsAvx2, identifiersAvx2, scanAvx2};
    static constexpr Counters AVX512 = {symbolsAvx512, identifiersAvx512, scanAvx512};
    switch (set) {
    case InstructionSet::Portable: return PORTABLE;
    case InstructionSet::Sse2: return SSE2;
    case InstructionSet::Avx2: return AVX2;
    case InstructionSet::Avx512: return AVX512;
    }
#endif
    (void)set;
    return PORTABLE;
}

const Counters &widestCounters()
{
    static const Counters &counters = countersOf(widestInstructionSet());
    return counters;
}

} // namespace

bool processorRuns(InstructionSet set)
{
    switch (set) {
#if defined(__x86_64__)
    case InstructionSet::Portable:
    case InstructionSet::Sse2:
        return true;
    case InstructionSet::Avx2:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("popcnt");
    case InstructionSet::Avx512:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("bmi") && __builtin_cpu_supports("popcnt");
#else
    case InstructionSet::Portable:
        return true;
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
    case InstructionSet::Portable: return "Portable";
    case InstructionSet::Sse2: return "Sse2";
    case InstructionSet::Avx2: return "Avx2";
    case InstructionSet::Avx512: return "Avx512";
    }
    return "";
}

int countSymbols(const char *line)
{
    return widestCounters().symbols(line);
}

int countSymbols(const char *line, InstructionSet set)
{
    return countersOf(set).symbols(line);
}

int countIdentifiers(const char *line, bool &in_comment)
{
    return widestCounters().identifiers(line, in_comment);
}

int countIdentifiers(const char *line, bool &in_comment, InstructionSet set)
{
    return countersOf(set).identifiers(line, in_comment);
}

Scan scanLines(TextInput &input, char *line)
{
    return widestCounters().scan(input, line);
}

Scan scanLines(TextInput &input, char *line, InstructionSet set)
{
    return countersOf(set).scan(input, line);
}

#include "counters.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "main.h"

bool is_in_comment = false;

namespace {

// The buffer is read a 64-bit word at a time; it holds a whole number of them.
constexpr int NUM_OF_WORDS_IN_LINE = NUM_OF_CHARS_IN_LINE / 8;
static_assert(NUM_OF_CHARS_IN_LINE % 8 == 0);
constexpr std::uint64_t LOW7 = 0x7F7F7F7F7F7F7F7F;
constexpr std::uint64_t SPACES = 0x2020202020202020;

std::uint64_t wordAt(const char *line, int word)
{
    std::uint64_t bytes;
    std::memcpy(&bytes, line + static_cast<std::size_t>(word) * 8, 8);
    return bytes;
}

// The high bit of every zero byte of `bytes`, exactly (no carries between bytes).
std::uint64_t zeroBytes(std::uint64_t bytes)
{
    return ~(((bytes & LOW7) + LOW7) | bytes | LOW7);
}

// Words of `line` up to the last one holding a nonzero byte: everything after
// them is zero fill. Short lines are the rule, so the fill is skipped from
// the back eight words at a time instead of being walked byte by byte.
int wordsOfText(const char *line)
{
    int words = NUM_OF_WORDS_IN_LINE;
    for (; words >= 8; words -= 8) {
        std::uint64_t any = 0;
        for (int word = words - 8; word < words; word++)
            any |= wordAt(line, word);
        if (any != 0)
            break;
    }
    while (words > 0 && wordAt(line, words - 1) == 0)
        words--;
    return words;
}

// Outside comments and strings, a byte either continues an identifier, is
// a separator that ends a pending one, or is one of the two bytes that may
// open a comment or a string and need a closer look.
enum : unsigned char { DIGIT = 0, WORD = 1, SEPARATOR = 2, SPECIAL = 4 };

constexpr std::array<unsigned char, 256> BYTE_CLASS = [] {
    std::array<unsigned char, 256> classes{};
    classes.fill(SEPARATOR); // bytes of 0x80 and above included
    for (int c = 'a'; c <= 'z'; c++)
        classes[c] = classes[c - 'a' + 'A'] = WORD;
    for (int c = '0'; c <= '9'; c++)
        classes[c] = DIGIT;
    classes['_'] = WORD;
    classes['/'] = classes['"'] = SPECIAL;
    return classes;
}();

#if defined(__SSE2__)
// Bits set in a 16-bit mask. Written out because std::popcount becomes a
// library call on processors without a popcount instruction.
int bitsSet(unsigned mask)
{
    mask = mask - ((mask >> 1) & 0x5555);
    mask = (mask & 0x3333) + ((mask >> 2) & 0x3333);
    mask = (mask + (mask >> 4)) & 0x0F0F;
    return static_cast<int>((mask + (mask >> 8)) & 0x1F);
}
#endif

// Walks bytes [i, end) outside comments and strings up to the next '/' or
// '"', counting the identifiers that end on the way; returns where it
// stopped. `counter_start` is 0 or 1, so that the walk needs no branches.
int scanOutside(const unsigned char *bytes, int i, int end, unsigned &counter_start, int &count)
{
#if defined(__SSE2__)
    // Comment and string openers often come close together: those are
    // cheaper to see byte by byte.
    if (i < end && BYTE_CLASS[bytes[i]] == SPECIAL)
        return i;
    // Sixteen bytes at a time, as bit masks: I marks identifier characters,
    // W the letters and '_' among them. In I + W a carry starts at every W
    // and runs to the end of its run of I, so it lands on exactly the
    // separators that end an identifier; a carry out of the top bit is an
    // identifier still pending. Digits alone start no carry.
    for (; i + 16 <= end; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + i));
        const __m128i lower = _mm_or_si128(block, _mm_set1_epi8(0x20));
        const __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)),
                                             _mm_cmplt_epi8(lower, _mm_set1_epi8('z' + 1)));
        const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(block, _mm_set1_epi8('0' - 1)),
                                            _mm_cmplt_epi8(block, _mm_set1_epi8('9' + 1)));
        const __m128i special = _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('/')),
                                             _mm_cmpeq_epi8(block, _mm_set1_epi8('"')));
        const unsigned w = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(letter, _mm_cmpeq_epi8(block, _mm_set1_epi8('_')))));
        const unsigned ident = w | static_cast<unsigned>(_mm_movemask_epi8(digit));
        const unsigned stop = static_cast<unsigned>(_mm_movemask_epi8(special));
        const unsigned sum = ident + w + counter_start;
        const int before = stop != 0 ? std::countr_zero(stop) : 16;
        count += bitsSet(sum & ~ident & ((1u << before) - 1));
        counter_start = (sum >> before) & 1;
        if (stop != 0)
            return i + before;
    }
#endif
    for (; i < end; i++) {
        const unsigned c = BYTE_CLASS[bytes[i]];
        if (c == SPECIAL)
            break;
        const unsigned separator = c >> 1;
        count += static_cast<int>(counter_start & separator);
        counter_start = (counter_start | c) & (separator ^ 1);
    }
    return i;
}

// Inside a comment or string only '*' and '"' can end it: finds the next one
// in [i, end), or returns end.
int scanInside(const unsigned char *bytes, int i, int end)
{
#if defined(__SSE2__)
    if (i < end && (bytes[i] == '*' || bytes[i] == '"'))
        return i;
    for (; i + 16 <= end; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + i));
        const unsigned found = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
            _mm_cmpeq_epi8(block, _mm_set1_epi8('*')), _mm_cmpeq_epi8(block, _mm_set1_epi8('"')))));
        if (found != 0)
            return i + std::countr_zero(found);
    }
#endif
    while (i < end && bytes[i] != '*' && bytes[i] != '"')
        i++;
    return i;
}

} // namespace

// Spaces and zero bytes are the blanks; the rest are symbols. Each word adds
// a one to a byte lane per blank, and the lanes are summed at the end.
int countSymbolsInLine(const char *line)
{
    const int words = wordsOfText(line);
    std::uint64_t blanks = 0;
    for (int word = 0; word < words; word++) {
        std::uint64_t bytes = wordAt(line, word);
        blanks += (zeroBytes(bytes) | zeroBytes(bytes ^ SPACES)) >> 7;
    }
    blanks = (blanks & 0x00FF00FF00FF00FF) + ((blanks >> 8) & 0x00FF00FF00FF00FF);
    return 8 * words - static_cast<int>((blanks * 0x0001000100010001) >> 48);
}

// One flag serves block comments and strings alike, and all 360 positions
// count: the zero fill behind the text is what ends an identifier at the end
// of the line and what lets the leading-quote rule act after the text. The
// text is walked in stretches between the bytes that can change the flag;
// the zero fill after it is settled at once, since zeros there can only end
// a pending identifier or, on a line that begins with a quote, clear the flag.
int countIdentifiers(const char *line, bool &in_comment)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(line);
    const int end = 8 * wordsOfText(line);
    // On a line that begins with a quote the flag is cleared at every
    // position, so a comment or string there hides just one character.
    const bool quote_first = line[0] == '"';
    bool inside = in_comment;
    unsigned counter_start = 0;
    int count = 0;

    for (int i = 0; i < end; i++) {
        if (inside) {
            if (!quote_first && (i = scanInside(bytes, i, end)) == end)
                break;
            const unsigned char next = i + 1 < NUM_OF_CHARS_IN_LINE ? bytes[i + 1] : 0;
            // A quote at position 0 makes quote_first true, so position -1
            // never counts; the guard says so rather than rely on that.
            const bool quote_closes = bytes[i] == '"' && (i == 0 || bytes[i - 1] != '/');
            if (quote_first || (bytes[i] == '*' && next == '/') || quote_closes)
                inside = false;
            continue;
        }
        if ((i = scanOutside(bytes, i, end, counter_start, count)) == end)
            break;
        const unsigned char next = i + 1 < NUM_OF_CHARS_IN_LINE ? bytes[i + 1] : 0;
        if (bytes[i] == '"' || next == '*') {
            inside = true; // an identifier pending here stays pending
        } else if (next == '/') {
            in_comment = false;
            return count; // and a pending identifier is lost
        } else {
            count += static_cast<int>(counter_start); // a lone '/' separates
            counter_start = 0;
        }
    }
    if (end < NUM_OF_CHARS_IN_LINE) {
        if (!inside || (quote_first && end + 1 < NUM_OF_CHARS_IN_LINE))
            count += static_cast<int>(counter_start);
        inside = inside && !quote_first;
    }
    in_comment = inside;
    return count;
}

int countIdentificatorsInLine(const char *line)
{
    return countIdentifiers(line, is_in_comment);
}

// File lines are numbered from 1; a line longer than the buffer arrives in
// pieces, each measured and numbered as a line of its own. Only the bytes a
// read wrote need zeroing again: the rest of the buffer is still zero.
Scan scanLines(TextInput &input, char *line)
{
    Scan scan;
    FileFigures &figures = scan.figures;
    bool inside = false;
    int length;

    while ((length = input.readLine(line, NUM_OF_CHARS_IN_LINE)) > 0) {
        figures.lines++;
        figures.identifiers += countIdentifiers(line, inside);
        const int current_max_symbols = countSymbolsInLine(line);
        if (current_max_symbols > figures.maxSymbols) {
            figures.maxSymbols = current_max_symbols;
            figures.lineWithMaxSymbols = figures.lines;
        }
        std::memset(line, 0, static_cast<size_t>(length));
    }
    scan.error = input.error();
    return scan;
}

// The menu's file, delivered through a buffer of its own that lasts the run.
void counter()
{
    static TextInput input(-1);
    input.reopen(fileno(fp));
    const Scan scan = scanLines(input, line);
    // The figures of a file that could not be read to its end are not the
    // file's figures: the report says so, and they are not saved.
    if (scan.error != 0)
        inputFailed = true;
    lineWithMaxSymbols = scan.figures.lineWithMaxSymbols;
    countIdentificators = scan.figures.identifiers;
}

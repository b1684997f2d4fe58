// Included once per instruction set, inside its namespace and, for a wider
// set, inside its target region, so that each set has its own copy of this
// code compiled for it. The standard headers it uses (<array>, <bit>,
// <cstdint>, <cstring>) are included by the set's file before the region.
// No include guard: a file may include it once in each of several
// namespaces.

// Text is read in blocks of up to 64 bytes, each described by bit masks with
// bit k standing for byte k of the block. How a block becomes masks is all
// that differs between instruction sets; the counting rules see only the
// masks and the bytes.
struct Masks {
    std::uint64_t blank;  // ' ' or a zero byte: not a symbol
    std::uint64_t ident;  // a letter, digit or '_': continues an identifier
    std::uint64_t word;   // a letter or '_': may begin one
    std::uint64_t opener; // '/' or '"': may open a comment or string, or end the line
    std::uint64_t closer; // '*' or '"': may end a comment or string
};

CMEASURE_INLINE const unsigned char *bytesOf(const char *text)
{
    return reinterpret_cast<const unsigned char *>(text);
}

// Bits 0 to n - 1.
CMEASURE_INLINE std::uint64_t lowBits(int n)
{
    return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
}

// The position of the first bit of `mask` at or after `from`, which is below
// 64; 64 when there is none.
CMEASURE_INLINE int firstBitFrom(std::uint64_t mask, int from)
{
    return std::countr_zero(mask & (~std::uint64_t{0} << from));
}

// The position of the highest bit set in `mask`, 0 when none is. With bit 0
// forced, the compiler needs no test for zero, which a processor without
// lzcnt would otherwise take as a branch that mispredicts.
CMEASURE_INLINE int highestBit(std::uint64_t mask)
{
    return 63 - std::countl_zero(mask | 1);
}

CMEASURE_INLINE std::uint64_t bitAt(int i)
{
    return std::uint64_t{1} << i;
}

// Bits set in a byte, 0 to 255: a table for sets without a popcount
// instruction, where std::popcount becomes a library call.
constexpr std::array<unsigned char, 256> bitsInEachByte()
{
    std::array<unsigned char, 256> bits{};
    for (int byte = 1; byte < 256; byte++)
        bits[byte] = static_cast<unsigned char>(bits[byte / 2] + (byte & 1));
    return bits;
}

constexpr std::array<unsigned char, 256> BITS_IN_BYTE = bitsInEachByte();

// Bits set in a 16-bit mask: two looks in the table.
CMEASURE_INLINE int bitsSetIn16(std::uint64_t mask)
{
    return BITS_IN_BYTE[mask & 0xFF] + BITS_IN_BYTE[(mask >> 8) & 0xFF];
}

// Bits set in a 64-bit mask without a popcount instruction: the bits are
// summed in pairs, then fours, then bytes, and the multiplication adds the
// eight byte sums into the top byte.
CMEASURE_INLINE int bitsSetIn64(std::uint64_t mask)
{
    mask = mask - ((mask >> 1) & 0x5555555555555555);
    mask = (mask & 0x3333333333333333) + ((mask >> 2) & 0x3333333333333333);
    mask = (mask + (mask >> 4)) & 0x0F0F0F0F0F0F0F0F;
    return static_cast<int>((mask * 0x0101010101010101) >> 56);
}

// The masks of a block for C's rules: the bytes where the lexer's fast
// paths stop, and those the lines count. Each is what one test reads, so
// that a block costs one mask per test and nothing is combined after.
struct CMasks {
    std::uint64_t lf;
    std::uint64_t blank;    // white space and NUL: not a symbol
    std::uint64_t space;    // horizontal white space and NUL: nothing to the lexer in code
    std::uint64_t high;     // beyond ASCII
    std::uint64_t word;     // letters, digits and '_': the rest of an identifier
    std::uint64_t alnumDot; // letters, digits and '.': the rest of a number after "0x" and the like
    std::uint64_t star;
    std::uint64_t ends;    // backslash, LF and CR: where a line comment may end
    std::uint64_t literal; // quotes and the ends: where a literal may end
    std::uint64_t digit;
    std::uint64_t special; // / " ' \ CR # % $ and beyond ASCII: what the bulk of code leaves to the lexer
    std::uint64_t join;    // . + -: what may go on with a pp-number after its run of word bytes
};

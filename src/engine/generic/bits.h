// The bits set in a mask, by the set's popcount instruction where it has
// one (the set's Blocks::POPCNT).

// Bits set in a mask of `BITS` bits: a block's, or a group of 64 bytes.
template <int BITS = Blocks::WIDTH> CMEASURE_INLINE int bitsSet(std::uint64_t mask)
{
    if constexpr (Blocks::POPCNT)
        return std::popcount(mask);
    else if constexpr (BITS <= 16)
        return bitsSetIn16(mask);
    else
        return bitsSetIn64(mask);
}

// A list of names, each ended by a zero byte, as `find -print0` and
// `git ls-files -z` write them (--files0-from), read one name at a time.
#pragma once

#include <cstdint>
#include <string>

namespace cli {

class NameList {
public:
    // Names longer than this are cut to it and reported as too long.
    static constexpr std::size_t MOST_NAME_BYTES = 4096;

    // Reads from `fd`, which the list does not close.
    explicit NameList(int fd) : fd_(fd) {}

    // The next name into `name`: false at the end of the list, or when a
    // read failed, which error() then tells. A last name that no zero byte
    // ends still counts; one cut to MOST_NAME_BYTES sets `tooLong`.
    bool next(std::string &name, bool &tooLong);

    int error() const { return error_; }
    std::uint64_t count() const { return count_; } // names given so far

private:
    bool fill();

    int fd_;
    int error_ = 0;
    bool ended_ = false;
    std::uint64_t count_ = 0;
    std::size_t start_ = 0;
    std::size_t end_ = 0;
    char block_[1 << 16] = {};
};

} // namespace cli

#include "find/namelist.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "descriptors.h"

namespace cli {

// Reads the next block once the last is used up; false at the end or on a
// failure.
bool NameList::fill()
{
    if (start_ < end_)
        return true;
    if (ended_)
        return false;
    const ssize_t got = readWhenReady(fd_, block_, sizeof block_);
    if (got <= 0) {
        ended_ = true;
        error_ = got < 0 ? errno : 0;
        return false;
    }
    start_ = 0;
    end_ = static_cast<std::size_t>(got);
    return true;
}

bool NameList::next(std::string &name, bool &tooLong)
{
    name.clear();
    tooLong = false;
    bool any = false; // bytes of a name, or its zero byte, were read
    while (fill()) {
        any = true;
        const char *from = block_ + start_;
        const auto *zero = static_cast<const char *>(std::memchr(from, '\0', end_ - start_));
        const std::size_t length = zero != nullptr ? static_cast<std::size_t>(zero - from) : end_ - start_;
        const std::size_t room = MOST_NAME_BYTES - name.size();
        name.append(from, std::min(length, room));
        tooLong = tooLong || length > room;
        start_ += length;
        if (zero != nullptr) {
            start_++;
            count_++;
            return true;
        }
    }
    // A name that the end of the list cuts off still counts; a failed read
    // leaves it unfinished, and it is not given.
    if (!any || error_ != 0)
        return false;
    count_++;
    return true;
}

} // namespace cli

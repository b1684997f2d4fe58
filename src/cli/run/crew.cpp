#include "run/crew.h"

#include <cerrno>
#include <system_error>

namespace cli {

Crew::Crew(unsigned most, std::function<void(Crew &)> work) : work_(std::move(work)), most_(most) {}

Crew::~Crew()
{
    join();
}

unsigned Crew::startUpTo(unsigned count)
{
    std::lock_guard lock(mutex_);
    return startLockedUpTo(count);
}

unsigned Crew::startLockedUpTo(unsigned count)
{
    while (started_ < count && started_ < most_) {
        try {
            threads_.emplace_back(work_, std::ref(*this));
        } catch (const std::system_error &error) {
            errno = error.code().value(); // for the caller's message
            most_ = started_.load();
            break;
        }
        started_++;
    }
    return started_;
}

// Once the most have started, asking costs a load: a cold tree asks at
// every file. The count is read again under the lock, so that notices side
// by side each start one.
void Crew::oneMore()
{
    if (started_ >= most_)
        return;
    std::lock_guard lock(mutex_);
    startLockedUpTo(started_ + 1);
}

void Crew::waitNotice(void *crew)
{
    static_cast<Crew *>(crew)->oneMore();
}

// A worker may still start one more while others end, so the threads are
// taken out under the lock until none is left.
void Crew::join()
{
    for (;;) {
        std::vector<std::thread> threads;
        {
            std::lock_guard lock(mutex_);
            threads.swap(threads_);
        }
        if (threads.empty())
            return;
        for (std::thread &thread : threads)
            thread.join();
    }
}

} // namespace cli

// The workers of a run. As many start at once as there are processors,
// and one more each time a worker's read would wait for the disk, up to the
// most the budget allows: a tree already in memory keeps one worker to a
// processor, and one that is not gets a worker for each read in flight.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace cli {

class Crew {
public:
    // At most `most` workers, each running `work` with the crew.
    Crew(unsigned most, std::function<void(Crew &)> work);
    ~Crew();
    Crew(const Crew &) = delete;
    Crew &operator=(const Crew &) = delete;

    // Starts workers until `count` have started, or the most; returns how
    // many have started in all. A thread that cannot start ends the starts.
    unsigned startUpTo(unsigned count);

    // Starts one more worker, unless the most have started. Any thread may
    // ask, any number of times.
    void oneMore();

    // For a TextInput's wait notice, with the crew as its context.
    static void waitNotice(void *crew);

    // Waits until every worker started has ended.
    void join();

private:
    unsigned startLockedUpTo(unsigned count);

    std::mutex mutex_;
    std::vector<std::thread> threads_;
    std::function<void(Crew &)> work_;
    std::atomic<unsigned> most_;
    std::atomic<unsigned> started_ = 0;
};

} // namespace cli

#include "run/budget.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <thread>

#include "options.h"

namespace cli {

namespace {

// By default, at most 4 workers per processor, at least 8 and at most
// Options::MOST_JOBS: a read that waits for a cold disk holds a worker, not
// a processor. One a processor starts at once (the crew starts the others
// as reads wait).
constexpr unsigned WORKERS_PER_PROCESSOR = 4;
constexpr unsigned FEWEST_DEFAULT_JOBS = 8;

// A window this deep lets the walk run ahead of the workers and the writer
// take rows in long runs: with a shallow window, two workers on a tree of
// small files wait on one another instead of reading. A deeper one no longer
// fits a processor's cache: 512 slots a worker, 300 bytes each with their
// paths, made /usr/include 4% slower than 128.
constexpr std::size_t SLOTS_PER_WORKER = 128;

// Beyond this many descriptors the limit is as good as none.
constexpr std::size_t MOST_DESCRIPTORS = std::size_t{1} << 20;

// Descriptors of the walk's levels kept open besides the root's: the
// deepest ones. Each level above them is opened again on the way back up,
// so a deeper tree costs a few opens, not descriptors.
constexpr std::size_t MOST_OPEN_LEVELS = 32;

unsigned processors()
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return static_cast<unsigned>(std::max(1, CPU_COUNT(&set)));
    return std::max(1u, std::thread::hardware_concurrency());
}

std::size_t descriptorLimit()
{
    rlimit limit = {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur > MOST_DESCRIPTORS)
        return MOST_DESCRIPTORS;
    return limit.rlim_cur;
}

// The descriptors open now, at any number: those /proc lists, less the one
// that lists them; without /proc, each number below the limit asked.
std::size_t openDescriptors(std::size_t limit)
{
    if (DIR *listing = opendir("/proc/self/fd")) {
        std::size_t open = 0;
        while (const dirent *entry = readdir(listing))
            open += entry->d_name[0] != '.';
        closedir(listing);
        return open > 0 ? open - 1 : 0;
    }
    std::size_t open = 0;
    for (std::size_t fd = 0; fd < limit; fd++)
        open += fcntl(static_cast<int>(fd), F_GETFD) >= 0;
    return open;
}

// Of the descriptors free at the start, the walk keeps an eighth in levels,
// up to MOST_OPEN_LEVELS, and its directories, held by files waiting in the
// window too, to half. Counted from those free, not from the limit: a parent
// may have left the process many open.
WalkAllowance walkAllowanceFor(std::size_t spare)
{
    return {std::clamp<std::size_t>(spare / 8, 1, MOST_OPEN_LEVELS), std::max<std::size_t>(spare / 2, 2)};
}

} // namespace

std::size_t spareDescriptors()
{
    const std::size_t limit = descriptorLimit();
    const std::size_t open = openDescriptors(limit);
    return limit > open ? limit - open : 0;
}

// Each slot may hold its directory open, and each worker one file: together
// they take at most half the spare descriptors, and the walk has the rest.
// So no worker ever fails for want of a descriptor, whatever -j says.
Budget budgetFor(unsigned jobs)
{
    if (jobs == 0)
        jobs = std::clamp(WORKERS_PER_PROCESSOR * processors(), FEWEST_DEFAULT_JOBS, Options::MOST_JOBS);
    jobs = std::min(jobs, Options::MOST_JOBS);
    const std::size_t spare = spareDescriptors();
    const std::size_t slots = std::clamp<std::size_t>(spare / 4, 1, SLOTS_PER_WORKER * jobs);
    const auto workers = static_cast<unsigned>(std::min<std::size_t>(jobs, slots));
    return {workers, std::min(workers, processors()), slots, walkAllowanceFor(spare), jobs > 1 && processors() > 1};
}

} // namespace cli

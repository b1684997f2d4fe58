// The window on its own: targets come out in the order they went in,
// whatever order the workers finish them in; standard input is handed out
// only once everything before it is finished; no more targets are in
// flight than there are slots; a completed window ends every thread; and
// the writer is woken whenever it has something to take.
// Each case runs with random pauses in the workers, under a seed it prints.
#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "random_text.h"
#include "run/window.h"
#include "seed.h"

namespace {

using namespace cli;

struct WindowCase {
    const char *name;
    std::string kinds; // a target each: 'f' a file, 's' standard input, 'x' a failure known when it is added
    std::size_t slots;
    unsigned workers;
};

void PrintTo(const WindowCase &c, std::ostream *os)
{
    *os << c.name;
}

class WindowTest : public testing::TestWithParam<WindowCase> {};

// Each target's outcome carries its own position as its line count, so
// that what comes out can be matched to what went in.
Target targetOf(char kind, std::size_t position)
{
    Target target{.request = {.path = std::to_string(position)}};
    if (kind == 's')
        target.request.origin = Origin::StandardInput;
    if (kind == 'x')
        target.outcome = {.state = TargetState::Failed, .error = EIO};
    return target;
}

TEST_P(WindowTest, KeepsOrderStandardInputTurnCapacityAndEnds)
{
    const WindowCase &c = GetParam();
    const unsigned seed = testseed::fresh();
    SCOPED_TRACE("seed " + std::to_string(seed));
    Window window(c.slots);
    std::vector<std::atomic<bool>> finished(c.kinds.size());
    std::atomic<int> earlyInputs{0};

    const auto work = [&](unsigned worker) {
        randomtext::Rng rng(seed + worker);
        std::optional<Finished> done;
        while (const std::optional<Job> job = window.take(done)) {
            if (job->request.origin == Origin::StandardInput)
                for (std::size_t before = 0; before < job->position; before++)
                    earlyInputs += finished[before] ? 0 : 1;
            std::this_thread::sleep_for(std::chrono::microseconds(randomtext::pick(rng, 0, 300)));
            finished[job->position] = true;
            done = Finished{job->position, {.state = TargetState::Measured, .figures = {.lines = static_cast<Count>(job->position)}}};
        }
    };
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        for (std::size_t position = 0; position < c.kinds.size(); position++) {
            std::vector<Target> one;
            one.push_back(targetOf(c.kinds[position], position));
            if (c.kinds[position] == 'x')
                finished[position] = true;
            window.add(one);
        }
        window.complete();
    });
    for (unsigned worker = 0; worker < c.workers; worker++)
        threads.emplace_back(work, worker);

    std::vector<Target> out;
    std::vector<Target> taken;
    bool more = true;
    while (more) {
        EXPECT_LE(window.inFlight(), c.slots);
        // Waits no timeout ends: a wake-up the window forgets hangs the case.
        more = window.takeFinished(taken, {std::chrono::hours(1), std::chrono::hours(1)});
        for (Target &target : taken)
            out.push_back(std::move(target));
        taken.clear();
    }
    for (std::thread &thread : threads)
        thread.join();

    EXPECT_EQ(earlyInputs.load(), 0);
    ASSERT_EQ(out.size(), c.kinds.size());
    for (std::size_t position = 0; position < out.size(); position++) {
        EXPECT_EQ(out[position].request.path, std::to_string(position));
        const bool failed = c.kinds[position] == 'x';
        EXPECT_EQ(out[position].outcome.state, failed ? TargetState::Failed : TargetState::Measured) << position;
        if (!failed) {
            EXPECT_EQ(out[position].outcome.figures.lines, static_cast<Count>(position));
        }
    }
}

std::string manyKinds()
{
    std::string kinds;
    for (int k = 0; k < 300; k++)
        kinds += k % 37 == 5 ? 's' : k % 11 == 3 ? 'x' : 'f';
    return kinds;
}

INSTANTIATE_TEST_SUITE_P(Window, WindowTest, testing::Values(
    WindowCase{"OrderKeptWhateverFinishesFirst", "ffffffffffff", 16, 4},
    WindowCase{"StandardInputAfterEverythingBeforeIt", "fffffsfff", 16, 4},
    WindowCase{"StandardInputFirst", "sffff", 4, 3},
    WindowCase{"StandardInputsOneAfterAnother", "fssfsf", 8, 3},
    WindowCase{"StandardInputLast", "ffffs", 8, 4},
    WindowCase{"FailuresKnownWhenAddedPassStraightThrough", "xfxsxx", 4, 2},
    WindowCase{"OneSlot", "ffsfxf", 1, 3},
    WindowCase{"TwoSlotsManyTargets", manyKinds(), 2, 4},
    WindowCase{"ManyTargetsFewerSlots", manyKinds(), 7, 3},
    WindowCase{"NothingAddedEndsAtOnce", "", 4, 2},
    WindowCase{"LastFinishedWakesTheWriterShortOfAQuarter", "fffff", 64, 2},
    WindowCase{"OnlyFailures", "xxxx", 2, 2}
), [](const testing::TestParamInfo<WindowCase> &info) { return std::string(info.param.name); });

} // namespace

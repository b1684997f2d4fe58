// The window on its own: targets come out in the order they went in,
// whatever order the workers finish them in; standard input is handed out
// only once everything before it is finished; no more targets are in
// flight than there are slots; a completed window ends every thread; and
// the writer is woken whenever it has something to take.
// Targets held from the writer reach it only once released, measured
// meanwhile, and those withdrawn never reach it, even those a worker has.
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
    // A target each: 'f' a file, 's' standard input, 'x' a failure known
    // when it is added; and what the walk does between them: 'h' holds the
    // targets that follow, 'r' releases them once every one is finished,
    // 'w' withdraws them at once.
    std::string kinds;
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

bool isTarget(char kind)
{
    return kind == 'f' || kind == 's' || kind == 'x';
}

// The positions of the targets that reach the writer, and for each target
// whether it is held: those after an 'h' up to the next 'r' or 'w'.
struct Expected {
    std::vector<std::size_t> written;
    std::vector<bool> held;
};

Expected expectedOf(const std::string &kinds)
{
    Expected expected;
    std::vector<std::size_t> holding;
    bool held = false;
    for (const char kind : kinds) {
        if (kind == 'h' || kind == 'r')
            expected.written.insert(expected.written.end(), holding.begin(), holding.end());
        if (!isTarget(kind)) {
            holding.clear();
            held = kind == 'h';
            continue;
        }
        (held ? holding : expected.written).push_back(expected.held.size());
        expected.held.push_back(held);
    }
    expected.written.insert(expected.written.end(), holding.begin(), holding.end());
    return expected;
}

// Waits until the targets from `begin` to `end` are all finished: a hold
// keeps them from the writer only, not from the workers.
void untilFinished(const std::vector<std::atomic<bool>> &finished, std::size_t begin, std::size_t end)
{
    for (std::size_t position = begin; position < end; position++)
        while (!finished[position])
            std::this_thread::yield();
}

TEST_P(WindowTest, KeepsOrderStandardInputTurnCapacityAndEnds)
{
    const WindowCase &c = GetParam();
    const unsigned seed = testseed::fresh();
    SCOPED_TRACE("seed " + std::to_string(seed));
    Window window(c.slots);
    const Expected expected = expectedOf(c.kinds);
    std::vector<std::atomic<bool>> finished(expected.held.size());
    std::vector<std::atomic<bool>> released(expected.held.size());
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
        std::size_t position = 0;
        std::size_t heldFrom = 0;
        for (const char kind : c.kinds) {
            if (kind == 'h') {
                window.hold();
                heldFrom = position;
            } else if (kind == 'r') {
                untilFinished(finished, heldFrom, position);
                for (std::size_t at = heldFrom; at < position; at++)
                    released[at] = true;
                window.release();
            } else if (kind == 'w') {
                window.withdraw();
            } else {
                std::vector<Target> one;
                one.push_back(targetOf(kind, position));
                finished[position] = kind == 'x';
                window.add(one);
                position++;
            }
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
        for (Target &target : taken) {
            const std::size_t position = std::stoul(target.request.path);
            EXPECT_TRUE(!expected.held[position] || released[position]) << position << " written while held";
            out.push_back(std::move(target));
        }
        taken.clear();
    }
    for (std::thread &thread : threads)
        thread.join();

    EXPECT_EQ(earlyInputs.load(), 0);
    const std::string targets = [&] {
        std::string kinds = c.kinds;
        std::erase_if(kinds, [](char kind) { return !isTarget(kind); });
        return kinds;
    }();
    ASSERT_EQ(out.size(), expected.written.size());
    for (std::size_t k = 0; k < out.size(); k++) {
        const std::size_t position = expected.written[k];
        EXPECT_EQ(out[k].request.path, std::to_string(position));
        const bool failed = targets[position] == 'x';
        EXPECT_EQ(out[k].outcome.state, failed ? TargetState::Failed : TargetState::Measured) << position;
        if (!failed) {
            EXPECT_EQ(out[k].outcome.figures.lines, static_cast<Count>(position));
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
    WindowCase{"OnlyFailures", "xxxx", 2, 2},
    WindowCase{"HeldMeasuredThenWrittenInOrder", "ffhffffxfrff", 16, 3},
    WindowCase{"HeldFromTheFirstTarget", "hfffxffr", 8, 2},
    WindowCase{"HeldFillingEverySlot", "ffhffffffr", 8, 3},
    WindowCase{"WithdrawnNeverWritten", "fxhffxffwff", 16, 3},
    WindowCase{"WithdrawnWhileWorkersHaveThem", "hffffffffffffffwf", 16, 8},
    WindowCase{"WithdrawnWhenAllWereHeld", "hfffxw", 8, 2},
    WindowCase{"HeldAgainAfterAWithdrawal", "fhffwhffrf", 8, 2},
    WindowCase{"HoldWithNothingAdded", "fhrhwf", 4, 2}
), [](const testing::TestParamInfo<WindowCase> &info) { return std::string(info.param.name); });

} // namespace

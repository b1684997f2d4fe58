// The crew: as many workers as asked start at once, then one more for each
// notice of a read that waits, never more than the most; join() ends them.
#include <atomic>
#include <string>

#include <gtest/gtest.h>

#include "run/crew.h"

namespace {

struct CrewCase {
    const char *name;
    unsigned most;
    unsigned starting;
    unsigned notices;        // from the test, one after another
    bool eachWorkerNotices;  // once, as it starts, alongside the others
    unsigned started;
};

void PrintTo(const CrewCase &c, std::ostream *os)
{
    *os << c.name;
}

class CrewTest : public testing::TestWithParam<CrewCase> {};

TEST_P(CrewTest, StartsOneMoreForEachNoticeUpToTheMost)
{
    const CrewCase &c = GetParam();
    std::atomic<unsigned> ran{0};
    cli::Crew crew(c.most, [&](cli::Crew &self) {
        ran++;
        if (c.eachWorkerNotices)
            cli::Crew::waitNotice(&self);
    });
    crew.startUpTo(c.starting);
    for (unsigned k = 0; k < c.notices; k++)
        cli::Crew::waitNotice(&crew);
    crew.join();
    EXPECT_EQ(ran.load(), c.started);
    EXPECT_EQ(crew.startUpTo(0), c.started);
}

// A notice that loses a race to start the next worker leaves it to the
// worker that won, which notices in turn: the chain reaches the most.
INSTANTIATE_TEST_SUITE_P(Crew, CrewTest, testing::Values(
    CrewCase{"StartsAsManyAsAskedAtOnce", 8, 2, 0, false, 2},
    CrewCase{"OneMoreForEachNotice", 8, 2, 3, false, 5},
    CrewCase{"NeverMoreThanTheMost", 3, 2, 5, false, 3},
    CrewCase{"NeverMoreThanTheMostAtOnce", 3, 8, 0, false, 3},
    CrewCase{"NoticesFromWorkersSideBySide", 16, 2, 0, true, 16}
), [](const testing::TestParamInfo<CrewCase> &info) { return std::string(info.param.name); });

} // namespace

// The counters and the file line scan against the plain model, on random
// lines and files. Sequence k of a row uses seed firstSeed + k, printed when
// it fails, so every failure can be replayed alone (CMEASURE_SEED=seed).
#include <algorithm>
#include <sys/socket.h>
#include <thread>
#include <tuple>
#include <unistd.h>

#include <gtest/gtest.h>

#include "against_model.h"
#include "print_set.h"
#include "counting.h"
#include "random_text.h"
#include "seed.h"

namespace {

struct RandomCase {
    const char *name;
    unsigned firstSeed;
    int sequences;
    int size;            // lines per sequence, or the largest file
    int largestRead = 0; // files arrive in reads of 1 to this many bytes; 0: read from a regular file
    std::string (*makeFile)(randomtext::Rng &, int) = randomtext::file;
};

void PrintTo(const RandomCase &c, std::ostream *os)
{
    *os << c.name;
}

// Each case runs through every instruction set the processor runs.
using SetCase = std::tuple<RandomCase, InstructionSet>;

std::string caseName(const testing::TestParamInfo<SetCase> &info)
{
    return std::string(std::get<0>(info.param).name) + "_" + nameOf(std::get<1>(info.param));
}

const auto SETS = testing::ValuesIn(INSTRUCTION_SETS);

#define SKIP_UNLESS_RUN(set) \
    if (!processorRuns(set)) \
    GTEST_SKIP() << nameOf(set) << " is not run by this build or processor"

class CountersTest : public testing::TestWithParam<SetCase> {};

// After every line: identifiers, symbols and the comment-or-string flag.
TEST_P(CountersTest, AgreeWithModelLineByLine)
{
    const auto &[c, set] = GetParam();
    SKIP_UNLESS_RUN(set);
    const unsigned first = testseed::first(c.firstSeed);
    for (unsigned seed = first; seed < first + c.sequences; seed++) {
        randomtext::Rng rng(seed);
        bool inside = false;
        bool model_inside = false;
        for (int k = 0; k < c.size; k++) {
            const againstmodel::Line line(randomtext::line(rng));
            const againstmodel::LineFigures expected = againstmodel::modelLine(line, model_inside);
            ASSERT_EQ(againstmodel::lineDiffers(line, set, inside, expected), "") << "seed " << seed << " line " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Random, CountersTest, testing::Combine(testing::Values(
    RandomCase{"ManyShortSequences", 1, 2000, 60},
    RandomCase{"LongSequences", 100001, 20, 5000}
), SETS), caseName);

// Input that arrives a little at a time, as from a pipe or a terminal: a
// writer sends the text in packets of 1 to `largest` bytes, and a
// sequenced-packet socket delivers exactly one packet per read, so lines
// end anywhere within reads, and reads end anywhere within lines.
class SmallReads {
public:
    SmallReads(const std::string &text, int largest, unsigned seed)
    {
        if (socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends_) != 0)
            return;
        writer_ = std::thread([this, &text, largest, seed] {
            randomtext::Rng rng(seed);
            for (size_t at = 0, size; at < text.size(); at += size) {
                size = std::min<size_t>(randomtext::pick(rng, 1, largest), text.size() - at);
                if (send(ends_[1], text.data() + at, size, MSG_NOSIGNAL) != static_cast<ssize_t>(size))
                    break;
            }
            close(ends_[1]);
        });
    }
    ~SmallReads()
    {
        if (writer_.joinable())
            writer_.join();
        if (ends_[0] >= 0)
            close(ends_[0]);
    }
    SmallReads(const SmallReads &) = delete;
    SmallReads &operator=(const SmallReads &) = delete;

    int fd() const { return ends_[0]; }

private:
    int ends_[2] = {-1, -1};
    std::thread writer_;
};

// Runs `check` on an input that delivers `text`: the scratch file, or, for
// a case with largestRead, reads of a few bytes each.
template <class Check>
std::string throughInput(FILE *file, const std::string &text, const RandomCase &c, unsigned seed, Check check)
{
    if (c.largestRead > 0) {
        SmallReads reads(text, c.largestRead, seed);
        if (reads.fd() < 0)
            return "cannot make a socket pair";
        TextInput input(reads.fd());
        return check(input);
    }
    if (ftruncate(fileno(file), 0) != 0 ||
        pwrite(fileno(file), text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()) ||
        lseek(fileno(file), 0, SEEK_SET) != 0)
        return "cannot write the scratch file";
    TextInput input(fileno(file));
    return check(input);
}

class FileScanTest : public testing::TestWithParam<SetCase> {};

// Text-mode reading, pieces, numbering and ties, through the real file input,
// or through reads of a few bytes each.
TEST_P(FileScanTest, AgreesWithModel)
{
    const auto &[c, binding] = GetParam();
    const InstructionSet set = binding; // a lambda below uses it, and clang 14 captures no binding
    SKIP_UNLESS_RUN(set);
    FILE *file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    const unsigned first = testseed::first(c.firstSeed);
    for (unsigned seed = first; seed < first + c.sequences; seed++) {
        randomtext::Rng rng(seed);
        const std::string text = c.makeFile(rng, randomtext::pick(rng, 0, c.size));
        const std::string differs = throughInput(file, text, c, seed, [&](TextInput &input) {
            return againstmodel::scanDiffers(input, set, model::scan(text));
        });
        ASSERT_EQ(differs, "") << "seed " << seed;
    }
    std::fclose(file);
}

INSTANTIATE_TEST_SUITE_P(Random, FileScanTest, testing::Combine(testing::Values(
    RandomCase{"SmallFiles", 1, 1000, 2000},
    RandomCase{"FilesReadInManyBlocks", 1000001, 30, 150000},
    RandomCase{"FilesInReadsOfAFewBytes", 2000001, 300, 5000, 100},
    RandomCase{"FilesInReadsOfSeveralLines", 3000001, 30, 40000, 2000},
    RandomCase{"FilesOfFewPairHalvesAndQuotes", 6000001, 100, 20000, 0, randomtext::sparse},
    RandomCase{"FilesOfFewPairHalvesAndQuotesInSmallReads", 7000001, 30, 20000, 3000, randomtext::sparse},
    RandomCase{"FilesOfDenseLinesWithinGroups", 8000001, 300, 3000, 0, randomtext::denseInGroups},
    RandomCase{"FilesOfAnyBytes", 9000001, 100, 5000, 0, randomtext::anyBytes}
), SETS), caseName);

class PiecesOverLimitTest : public testing::TestWithParam<SetCase> {};

// The pieces over a random limit, with their lines, columns and symbols, in
// order, and the same figures as the plain scan gives; files of lines
// around the lengths where pieces are cut.
TEST_P(PiecesOverLimitTest, AgreeWithModel)
{
    const auto &[c, binding] = GetParam();
    const InstructionSet set = binding;
    SKIP_UNLESS_RUN(set);
    FILE *file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    const unsigned first = testseed::first(c.firstSeed);
    for (unsigned seed = first; seed < first + c.sequences; seed++) {
        randomtext::Rng rng(seed);
        const std::string text = randomtext::aroundPieceEdges(rng, randomtext::pick(rng, 0, c.size));
        const int limit = randomtext::pick(rng, 0, 359);
        const std::string differs = throughInput(file, text, c, seed, [&](TextInput &input) {
            return againstmodel::reportingScanDiffers(input, set, limit, model::scan(text),
                                                      model::overLimit(text, limit));
        });
        ASSERT_EQ(differs, "") << "seed " << seed;
    }
    std::fclose(file);
}

INSTANTIATE_TEST_SUITE_P(Random, PiecesOverLimitTest, testing::Combine(testing::Values(
    RandomCase{"LinesAroundPieceEdges", 4000001, 300, 40},
    RandomCase{"LinesAroundPieceEdgesInSmallReads", 5000001, 100, 40, 1000}
), SETS), caseName);

} // namespace

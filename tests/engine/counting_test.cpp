#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "allow_marker.h"
#include "counting.h"
#include "print_set.h"

namespace {

// A line as the readers leave it: text in front, zero fill behind.
const char *fill(const std::string &text)
{
    static char line[LINE_BUFFER_SIZE];
    std::memset(line, 0, LINE_BUFFER_SIZE);
    std::memcpy(line, text.data(), std::min<size_t>(text.size(), LINE_BUFFER_SIZE - 1));
    return line;
}

struct SymbolCase {
    const char *name;
    std::string text;
    int symbols;
};

void PrintTo(const SymbolCase &c, std::ostream *os)
{
    *os << c.name;
}

// Every case runs through each instruction set; a set this processor does not
// run is skipped, and says so.
const auto SETS = testing::ValuesIn(INSTRUCTION_SETS);

template <typename T> std::string nameWithSet(const testing::TestParamInfo<std::tuple<T, InstructionSet>> &info)
{
    return std::string(std::get<0>(info.param).name) + "_" + nameOf(std::get<1>(info.param));
}

#define SKIP_UNLESS_RUN(set) \
    if (!processorRuns(set)) \
    GTEST_SKIP() << nameOf(set) << " is not run by this build or processor"

class SymbolsTest : public testing::TestWithParam<std::tuple<SymbolCase, InstructionSet>> {};

TEST_P(SymbolsTest, CountsNonBlankNonZeroBytes)
{
    const auto &[c, set] = GetParam();
    SKIP_UNLESS_RUN(set);
    EXPECT_EQ(countSymbols(fill(c.text), set), c.symbols);
}

INSTANTIATE_TEST_SUITE_P(Symbols, SymbolsTest, testing::Combine(testing::ValuesIn(std::vector<SymbolCase>{
    {"EmptyLine", "", 0},
    {"SpacesDoNotCount", "int main()", 9},
    {"TabsAndNewlinesCount", "a\tb\n", 4},
    {"HighBytesCount", "\xC3\xA9 x", 3},
    {"CommentsCount", "/* a */", 5},
    {"ZeroBytesInTextDoNotCount", std::string("a\0b", 3), 2},
    {"FullLine", std::string(359, 'x'), 359},
    {"BlanksInSeveralBlocks", std::string(64, 'x') + std::string(70, ' ') + "y\t", 66},
}), SETS), nameWithSet<SymbolCase>);

// Identifiers counted and the comment-or-string flag left, after each line
// of a sequence that starts with the flag false.
struct IdentifierCase {
    const char *name;
    std::vector<std::string> lines;
    std::vector<std::pair<int, bool>> after;
};

void PrintTo(const IdentifierCase &c, std::ostream *os)
{
    *os << c.name;
}

class IdentifiersTest : public testing::TestWithParam<std::tuple<IdentifierCase, InstructionSet>> {};

TEST_P(IdentifiersTest, CountsAndCarriesTheFlag)
{
    const auto &[c, set] = GetParam();
    SKIP_UNLESS_RUN(set);
    bool inside = false;
    for (size_t i = 0; i < c.lines.size(); i++) {
        int identifiers = countIdentifiers(fill(c.lines[i]), inside, set);
        EXPECT_EQ(std::make_pair(identifiers, inside), c.after[i]) << "line " << i;
    }
}

const std::string a357(357, 'a');

// Text that puts its first byte at position `at`, where the blocks of 16,
// 32 or 64 bytes that the counters read end for at = 15, 31 and 63.
std::string startingAt(int position, const std::string &text, char before = 'a')
{
    return std::string(position, before) + text;
}

INSTANTIATE_TEST_SUITE_P(Identifiers, IdentifiersTest, testing::Combine(testing::ValuesIn(std::vector<IdentifierCase>{
    {"EmptyLine", {""}, {{0, false}}},
    {"KeywordsCount", {"int main()"}, {{2, false}}},
    {"DigitsNeitherBeginNorEnd", {"123abc 9 x1 _y __"}, {{4, false}}},
    {"TabSeparates", {"a\tb"}, {{2, false}}},
    {"HighBytesSeparate", {"\xC3\xA9 x"}, {{1, false}}},
    {"ZeroByteInTextSeparates", {std::string("a\0b", 3)}, {{2, false}}},
    {"PendingIdentifierEndsWithItsLine", {"a", "b"}, {{1, false}, {1, false}}},
    {"CommentSpansLines", {"/* open", "still x */ y"}, {{0, true}, {1, false}}},
    {"IdentifierPendsThroughComment", {"a/*b*/c"}, {{2, false}}},
    {"IdentifierPendsThroughString", {"abc\"x\""}, {{1, false}}},
    {"IdentifierBeforeCommentEndsAfterIt", {"foo/*c*/"}, {{1, false}}},
    {"OpenCommentLosesPendingIdentifier", {"abc/* open"}, {{0, true}}},
    {"SlashStarSlashOpensAndCloses", {"/*/ abc"}, {{1, false}}},
    {"ClosingSlashStartsLineComment", {"/* a *//b"}, {{0, false}}},
    {"StringHidesItsWords", {"x = \"abc\" y"}, {{2, false}}},
    {"QuoteAfterSlashDoesNotClose", {"s = \"/\"; t", "u \" v"}, {{1, true}, {1, false}}},
    {"LineCommentInsideStringIsText", {"s = \"a//b\" c"}, {{2, false}}},
    {"BackslashHasNoMeaning", {"printf(\"a\\\"b\") c"}, {{1, true}}},
    {"QuoteEndsComment", {"/* say \"hi\" */ x"}, {{2, false}}},
    {"StarSlashEndsString", {"x \"a */ b"}, {{2, false}}},
    {"LeadingQuoteClosesAtOnce", {"\"hello world\" z"}, {{2, false}}},
    {"LeadingQuoteKeepsOneCharacterInside", {"\"h z"}, {{1, false}}},
    {"LeadingQuoteAlone", {"\"h"}, {{0, false}}},
    {"LeadingQuoteClosesCarriedFlag", {"/* open", "\"a"}, {{0, true}, {1, false}}},
    {"LeadingQuoteLineThenPlainLine", {"\"str", "x y"}, {{1, false}, {2, false}}},
    {"LineCommentLosesPendingIdentifier", {"foo// x"}, {{0, false}}},
    {"LineCommentAfterSpace", {"foo //x"}, {{1, false}}},
    {"LineCommentAfterCode", {"int x; // comment"}, {{2, false}}},
    {"QuoteRuleActsPastTheText", {"\"ab\""}, {{1, false}}},
    {"FullLineHasNoSecondZero", {"\"" + a357 + "\""}, {{0, false}}},
    {"AlmostFullLineHasSecondZero", {"\"" + a357.substr(1) + "\""}, {{1, false}}},
    {"NoPairAcrossLines", {"/*" + a357.substr(1) + "*", "/ x"}, {{0, true}, {0, true}}},
    {"IdentifierRunsAcrossBlocks", {startingAt(70, " b")}, {{2, false}}},
    {"IdentifierEndsAtBlockStart", {startingAt(64, " b"), startingAt(63, " b"), startingAt(65, "")},
     {{2, false}, {2, false}, {1, false}}},
    {"CommentOpensAcrossBlocks16", {startingAt(15, "/* b */ c")}, {{2, false}}},
    {"CommentOpensAcrossBlocks32", {startingAt(31, "/* b */ c")}, {{2, false}}},
    {"CommentOpensAcrossBlocks64", {startingAt(63, "/* b */ c")}, {{2, false}}},
    {"CommentClosesAcrossBlocks",
     {"/*" + startingAt(13, "*/ y", ' '), "/*" + startingAt(29, "*/ y", ' '), "/*" + startingAt(61, "*/ y", ' ')},
     {{1, false}, {1, false}, {1, false}}},
    {"LineCommentAcrossBlocks", {startingAt(15, "// b"), startingAt(31, "// b"), startingAt(63, "// b")},
     {{0, false}, {0, false}, {0, false}}},
    {"QuoteAfterSlashAcrossBlocks", {"s=\"" + startingAt(12, "/\" t", 'x'), "s=\"" + startingAt(28, "/\" t", 'x'),
                                     "s=\"" + startingAt(60, "/\" t", 'x')},
     {{1, true}, {1, true}, {1, true}}},
    {"LeadingQuoteAcrossBlocks", {"\"" + startingAt(62, "\"c d", ' ')}, {{1, false}}},
}), SETS), nameWithSet<IdentifierCase>);

// A piece of a line under the menu's rules allows itself when it holds
// "cmeasure: allow" in a comment that opens within it.
struct MarkerCase {
    const char *name;
    std::string text;
    bool allowed;
};

void PrintTo(const MarkerCase &c, std::ostream *os)
{
    *os << c.name;
}

class AllowMarkerTest : public testing::TestWithParam<MarkerCase> {};

TEST_P(AllowMarkerTest, AllowsOnlyInAComment)
{
    EXPECT_EQ(holdsAllowMarker(GetParam().text), GetParam().allowed);
}

INSTANTIATE_TEST_SUITE_P(AllowMarker, AllowMarkerTest, testing::ValuesIn(std::vector<MarkerCase>{
    {"RightAfterLineCommentOpens", "//cmeasure: allow", true},
    {"InBlockComment", "x; /* cmeasure: allow */", true},
    {"EndsTheText", "x = 1; // cmeasure: allow", true},
    {"CutAtTheTextsEnd", "x = 1; // cmeasure: allo", false},
    {"AfterColonsOfCode", "a::b ? c : d; // cmeasure: allow", true},
    {"AfterItsFirstWordWithTwoColons", "cmeasure::x; // cmeasure: allow", true},
    {"ColonsWithoutTheWordBefore", "// measure: allow", false},
    {"BeginsTheTextOutsideAComment", "cmeasure: allow // x", false},
    {"InAString", "s = \"// cmeasure: allow\";", false},
    {"AfterACommentClosed", "/* x */ cmeasure: allow", false},
}), [](const testing::TestParamInfo<MarkerCase> &info) { return std::string(info.param.name); });

} // namespace

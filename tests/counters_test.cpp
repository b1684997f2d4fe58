#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "counters.h"
#include "main.h"

namespace {

// A line as the readers leave it: text in front, zero fill behind.
const char *fill(const std::string &text)
{
    std::memset(line, 0, NUM_OF_CHARS_IN_LINE);
    std::memcpy(line, text.data(), std::min<size_t>(text.size(), NUM_OF_CHARS_IN_LINE - 1));
    return line;
}

template <typename T> std::string nameOf(const testing::TestParamInfo<T> &info)
{
    return info.param.name;
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

class SymbolsTest : public testing::TestWithParam<SymbolCase> {};

TEST_P(SymbolsTest, CountsNonBlankNonZeroBytes)
{
    EXPECT_EQ(countSymbolsInLine(fill(GetParam().text)), GetParam().symbols);
}

INSTANTIATE_TEST_SUITE_P(Symbols, SymbolsTest, testing::ValuesIn(std::vector<SymbolCase>{
    {"EmptyLine", "", 0},
    {"SpacesDoNotCount", "int main()", 9},
    {"TabsAndNewlinesCount", "a\tb\n", 4},
    {"HighBytesCount", "\xC3\xA9 x", 3},
    {"CommentsCount", "/* a */", 5},
    {"ZeroBytesInTextDoNotCount", std::string("a\0b", 3), 2},
    {"FullLine", std::string(359, 'x'), 359},
}), nameOf<SymbolCase>);

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

class IdentifiersTest : public testing::TestWithParam<IdentifierCase> {};

TEST_P(IdentifiersTest, CountsAndCarriesTheFlag)
{
    const IdentifierCase &c = GetParam();
    is_in_comment = false;
    for (size_t i = 0; i < c.lines.size(); i++) {
        int identifiers = countIdentificatorsInLine(fill(c.lines[i]));
        EXPECT_EQ(std::make_pair(identifiers, is_in_comment), c.after[i]) << "line " << i;
    }
}

const std::string a357(357, 'a');

INSTANTIATE_TEST_SUITE_P(Identifiers, IdentifiersTest, testing::ValuesIn(std::vector<IdentifierCase>{
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
}), nameOf<IdentifierCase>);

} // namespace

// Which paths are written as JSON strings: exactly the well-formed UTF-8.
#include <gtest/gtest.h>

#include "output.h"

namespace {

struct Utf8Case {
    const char *name;
    std::string text;
    bool wellFormed;
};

void PrintTo(const Utf8Case &c, std::ostream *os)
{
    *os << c.name;
}

class Utf8Test : public testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Test, TellsWellFormedFromNot)
{
    EXPECT_EQ(isUtf8(GetParam().text), GetParam().wellFormed);
}

INSTANTIATE_TEST_SUITE_P(Paths, Utf8Test, testing::Values(
    Utf8Case{"Ascii", "src/a.c", true},
    Utf8Case{"TwoThreeAndFourBytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", true},
    Utf8Case{"HighestBeforeSurrogates", "\xED\x9F\xBF", true},
    Utf8Case{"HighestCodePoint", "\xF4\x8F\xBF\xBF", true},
    Utf8Case{"StrayContinuation", "a\x80", false},
    Utf8Case{"OverlongTwoBytes", "\xC0\x80", false},
    Utf8Case{"OverlongThreeBytes", "\xE0\x9F\xBF", false},
    Utf8Case{"OverlongFourBytes", "\xF0\x8F\xBF\xBF", false},
    Utf8Case{"Surrogate", "\xED\xA0\x80", false},
    Utf8Case{"BeyondHighestCodePoint", "\xF4\x90\x80\x80", false},
    Utf8Case{"CutAtTheEnd", "a\xE2\x82", false},
    Utf8Case{"LeadByteAsContinuation", "\xE2\xC3\xA9", false},
    Utf8Case{"NeverALeadByte", "\xFF", false}
), [](const testing::TestParamInfo<Utf8Case> &info) { return std::string(info.param.name); });

} // namespace

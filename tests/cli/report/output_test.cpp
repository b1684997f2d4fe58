// Which paths are written as JSON strings: exactly the well-formed UTF-8;
// how a path is written in a table row or a message; and the diagnostics
// of --max-symbols in both formats.
#include <cctype>
#include <cstdio>
#include <vector>

#include <gtest/gtest.h>

#include "report/format.h"

namespace {

using namespace cli;

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

struct PrintableCase {
    const char *name;
    std::string bytes;
    std::string printed;
};

void PrintTo(const PrintableCase &c, std::ostream *os)
{
    *os << c.name;
}

class PrintableTest : public testing::TestWithParam<PrintableCase> {};

TEST_P(PrintableTest, EscapesWhatIsNotPrintable)
{
    EXPECT_EQ(printablePath(GetParam().bytes), GetParam().printed);
}

INSTANTIATE_TEST_SUITE_P(Paths, PrintableTest, testing::Values(
    PrintableCase{"PrintableUtf8AsItIs", "src/\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80 x.c", "src/\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80 x.c"},
    PrintableCase{"ShortFormsAndBackslash", "a\nb\tc\rd\\", "a\\nb\\tc\\rd\\\\"},
    PrintableCase{"C0AndDel", "\x01\x1B[0m\x7F", "\\x01\\x1b[0m\\x7f"},
    PrintableCase{"C1ControlsInUtf8", "a\xC2\x85" "b\xC2\x9B" "c\xC2\x80", "a\\xc2\\x85b\\xc2\\x9bc\\xc2\\x80"},
    PrintableCase{"FirstCharacterAfterC1", "\xC2\xA0", "\xC2\xA0"},
    PrintableCase{"RightToLeftOverride", "a\u202Egpj.c", "a\\xe2\\x80\\xaegpj.c"},
    PrintableCase{"LineAndParagraphSeparators", "a\u2028b\u2029c", "a\\xe2\\x80\\xa8b\\xe2\\x80\\xa9c"},
    PrintableCase{"ZeroWidthSpaceAndByteOrderMark", "\u200Bx\uFEFF", "\\xe2\\x80\\x8bx\\xef\\xbb\\xbf"},
    PrintableCase{"SoftHyphenFirstFormatCharacter", "a\u00ADb", "a\\xc2\\xadb"},
    PrintableCase{"LanguageTagFourBytes", "\U000E0001\U000E007F", "\\xf3\\xa0\\x80\\x81\\xf3\\xa0\\x81\\xbf"},
    PrintableCase{"NeighboursOfFormatCharactersStay", "\u00AC\u00AE\u200A\u2027\u202F\u2065\uFEFE\U000E0080",
                  "\u00AC\u00AE\u200A\u2027\u202F\u2065\uFEFE\U000E0080"},
    PrintableCase{"C1BytesAlone", "\x85\x9B", "\\x85\\x9b"},
    PrintableCase{"NotUtf8ByteByByte", "\xFF\xE2\x82" "A\xC0\x80\xED\xA0\x80", "\\xff\\xe2\\x82A\\xc0\\x80\\xed\\xa0\\x80"}
), [](const testing::TestParamInfo<PrintableCase> &info) { return std::string(info.param.name); });

// Every control byte in a JSON path, C0 and DEL: the string written must be
// valid JSON (an escape of the short forms JSON has, or \u and four hex
// digits) and decode to the path's own bytes.
class JsonControlTest : public testing::TestWithParam<unsigned char> {};

int hexValue(char c)
{
    const std::string digits = "0123456789abcdef";
    const size_t at = digits.find(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

// Decodes a JSON string of ASCII text; false where it is not valid JSON.
bool decodeJsonString(const std::string &json, std::string &text)
{
    if (json.size() < 2 || json.front() != '"' || json.back() != '"')
        return false;
    const std::string shortForms = "\"\\/bfnrt", meanings = "\"\\/\b\f\n\r\t";
    for (size_t i = 1; i + 1 < json.size(); i++) {
        const auto c = static_cast<unsigned char>(json[i]);
        if (c < 0x20 || c == '"')
            return false;
        if (c != '\\') {
            text += json[i];
            continue;
        }
        const char kind = json[++i];
        if (const size_t form = shortForms.find(kind); form != std::string::npos) {
            text += meanings[form];
            continue;
        }
        if (kind != 'u' || i + 4 >= json.size() - 1)
            return false;
        int value = 0;
        for (int k = 1; k <= 4; k++) {
            const int digit = hexValue(json[i + k]);
            if (digit < 0)
                return false;
            value = value * 16 + digit;
        }
        text += static_cast<char>(value);
        i += 4;
    }
    return true;
}

TEST_P(JsonControlTest, EscapedAsValidJson)
{
    const std::string path = std::string("a") + static_cast<char>(GetParam()) + "b.c";
    std::string json;
    appendJsonPath(json, path);
    std::string decoded;
    EXPECT_TRUE(decodeJsonString(json, decoded)) << json;
    EXPECT_EQ(decoded, path) << json;
}

std::vector<unsigned char> controlBytes()
{
    std::vector<unsigned char> bytes;
    for (unsigned char byte = 0x01; byte < 0x20; byte++)
        bytes.push_back(byte);
    bytes.push_back(0x7F);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(Paths, JsonControlTest, testing::ValuesIn(controlBytes()),
                         [](const testing::TestParamInfo<unsigned char> &info) {
                             char name[16];
                             std::snprintf(name, sizeof name, "Byte0x%02X", info.param);
                             return std::string(name);
                         });

struct DiagnosticCase {
    const char *name;
    std::string path;
    bool json;
    PieceOverLimit piece;
    int limit;
    std::string written;
};

void PrintTo(const DiagnosticCase &c, std::ostream *os)
{
    *os << c.name;
}

class DiagnosticTest : public testing::TestWithParam<DiagnosticCase> {};

// Twice into one buffer: the path is kept, not used up, by the first.
TEST_P(DiagnosticTest, WritesOneLinePerPiece)
{
    const DiagnosticCase &c = GetParam();
    const std::unique_ptr<Format> format = c.json ? makeJsonFindings() : makeTextFindings();
    const std::string name = format->fileName(c.path);
    std::string out = "before\n";
    const Finding finding = {.line = c.piece.line, .column = c.piece.column, .symbols = c.piece.symbols, .limit = c.limit};
    format->finding(out, name, finding);
    format->finding(out, name, finding);
    EXPECT_EQ(out, "before\n" + c.written + c.written);
}

INSTANTIATE_TEST_SUITE_P(Pieces, DiagnosticTest, testing::Values(
    DiagnosticCase{"AsCompilersWriteThem", "src/a.c", false, {12, 1, 101}, 100, "src/a.c:12:1: 101 symbols (limit 100)\n"},
    DiagnosticCase{"LaterPieceBeyondAnyInt", "a.c", false, {5000000000, 719, 359}, 0, "a.c:5000000000:719: 359 symbols (limit 0)\n"},
    DiagnosticCase{"PathEscapedAsInTheTable", "a\nb:\xFF.c", false, {1, 360, 3}, 2, "a\\nb:\\xff.c:1:360: 3 symbols (limit 2)\n"},
    DiagnosticCase{"JsonObject", "a\"\xC3\xA9.c", true, {7, 360, 81}, 80,
                   "{\"path\": \"a\\\"\xC3\xA9.c\", \"line\": 7, \"column\": 360, \"symbols\": 81, \"limit\": 80}\n"},
    DiagnosticCase{"JsonPathNotUtf8AsBytes", "\xFF.c", true, {2, 1, 9}, 3,
                   "{\"path\": [255, 46, 99], \"line\": 2, \"column\": 1, \"symbols\": 9, \"limit\": 3}\n"}
), [](const testing::TestParamInfo<DiagnosticCase> &info) { return std::string(info.param.name); });

} // namespace

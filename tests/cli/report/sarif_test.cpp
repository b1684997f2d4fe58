// The SARIF log of the gate, checked by jq for its structure: every log
// must be one JSON document with the fields code scanning services require,
// and each case adds what it shows.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include <gtest/gtest.h>

#include "report/gate.h"

namespace {

namespace fs = std::filesystem;

constexpr int LIMIT = 80;

// A finding of the one rule: line, column in bytes, symbols, column in
// characters, as the engine reports a line.
struct Given {
    std::string path;
    PieceOverLimit piece;
    bool allowed = false;
};

struct SarifCase {
    const char *name;
    std::vector<Given> results;
    bool successful = true;
    std::string check; // a jq expression, true of the log
};

void PrintTo(const SarifCase &c, std::ostream *os)
{
    *os << c.name;
}

// What every log must hold, whatever its results.
const std::string EVERY_LOG =
    ".version == \"2.1.0\" and (.runs | length) == 1 and (.runs[0].tool.driver | .name == \"cmeasure\" and "
    ".version == $version and (.informationUri | test(\"^[a-z]+://\")) and (.rules | length) == 1 and "
    "(.rules[0] | .id == \"max-symbols\" and (.shortDescription.text | length) > 0 and "
    "(.fullDescription.text | length) > 0 and (.help.text | contains(\"cmeasure: allow\")) and "
    "(.help.markdown | contains(\"`cmeasure: allow`\")) and .properties.limit == " + std::to_string(LIMIT) + ")) and "
    ".runs[0].automationDetails.id == \"cmeasure/\" and "
    "(.runs[0].originalUriBaseIds[\"%SRCROOT%\"].uri | test(\"^file:///.*/$\")) and "
    "all(.runs[0].results[]; .ruleId == \"max-symbols\" and .level == \"error\" and "
    "(.message.text | test(\"^[0-9]+ symbols [(]limit " + std::to_string(LIMIT) + "[)]$\")) and "
    "(.locations | length) == 1 and (.locations[0].physicalLocation | "
    "(.artifactLocation.uri | test(\"^[A-Za-z0-9._~/%:-]+$\")) and .region.startLine >= 1 and "
    ".region.startColumn >= 1) and (.partialFingerprints[\"symbolsHash/v1\"] | test(\"^[0-9a-f]{16}$\")))";

std::string document(const SarifCase &c)
{
    const cli::SourceRoot root = cli::sourceRootOf("/work/", "/work/");
    const std::unique_ptr<cli::Format> log = cli::makeSarif(LIMIT, root);
    cli::GateRun gate(LIMIT, *log, 1, false);
    std::string out;
    log->header(out);
    for (const Given &given : c.results) {
        std::string findings; // formatted as a worker would, then handed over
        const PieceOverLimit &piece = given.piece;
        log->finding(findings, log->fileName(given.path),
                     {.line = piece.line, .column = piece.column, .characterColumn = piece.characterColumn,
                      .symbols = piece.symbols, .limit = LIMIT, .allowed = given.allowed});
        out += gate.inOrder(findings);
    }
    log->close(out, c.successful);
    return out;
}

// jq's verdict on `check` for `text`; false when jq cannot parse it.
bool holds(const std::string &text, const std::string &check)
{
    const fs::path file = fs::temp_directory_path() / ("cmeasure-sarif-" + std::to_string(getpid()) + ".json");
    std::ofstream(file, std::ios::binary) << text;
    const std::string command = "jq -e --arg version " CMEASURE_VERSION " '" + check + "' " + file.string() +
                                " >/dev/null";
    const int status = std::system(command.c_str());
    fs::remove(file);
    return status == 0;
}

class SarifTest : public testing::TestWithParam<SarifCase> {};

TEST_P(SarifTest, IsAValidLogThatSaysIt)
{
    if (std::system("jq --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "jq is missing";
    const SarifCase &c = GetParam();
    const std::string text = document(c);
    if (const char *logs = std::getenv("CMEASURE_SARIF_LOGS"))
        std::ofstream(fs::path(logs) / (std::string(c.name) + ".sarif"), std::ios::binary) << text;
    EXPECT_TRUE(holds(text, EVERY_LOG)) << text;
    EXPECT_TRUE(holds(text, c.check)) << text;
}

const std::string RESULTS = ".runs[0].results";
const std::string FIRST = RESULTS + "[0].locations[0].physicalLocation";

INSTANTIATE_TEST_SUITE_P(Sarif, SarifTest, testing::Values(
    SarifCase{.name = "EmptyLog", .results = {},
              .check = "(" + RESULTS + " | length) == 0 and .runs[0].invocations[0].executionSuccessful"},
    SarifCase{.name = "OneResult", .results = {{"src/a.c", {12, 7, 81, 7}}},
              .check = "(" + RESULTS + " | length) == 1 and " + RESULTS + "[0].message.text == \"81 symbols (limit 80)\" and " +
                       FIRST + ".artifactLocation == {\"uri\": \"src/a.c\", \"uriBaseId\": \"%SRCROOT%\"} and " +
                       ".runs[0].originalUriBaseIds[\"%SRCROOT%\"].uri == \"file:///work/\" and " +
                       FIRST + ".region == {\"startLine\": 12, \"startColumn\": 7} and (" + RESULTS +
                       "[0] | has(\"suppressions\") | not)"},
    SarifCase{.name = "SuppressedResultBesideAnother", .results = {{"a.c", {1, 1, 90}, true}, {"a.c", {2, 1, 91}}},
              .check = RESULTS + "[0].suppressions == [{\"kind\": \"inSource\"}] and (" + RESULTS +
                       "[1] | has(\"suppressions\") | not)"},
    SarifCase{.name = "PathNotUtf8IsPercentEncoded", .results = {{"d/\xff\xfe.c", {3, 1, 100}}},
              .check = FIRST + ".artifactLocation.uri == \"d/%FF%FE.c\""},
    SarifCase{.name = "SpacesAndReservedCharactersEncodedUnreservedKept", .results = {{"./Az09-._~/a b#?%:@.c", {3, 1, 100}}},
              .check = FIRST + ".artifactLocation.uri == \"Az09-._~/a%20b%23%3F%25%3A%40.c\""},
    SarifCase{.name = "AbsolutePathIsAFileUriWithoutBase", .results = {{"/usr/include/\xc3\xa9.h", {5, 2, 99}}},
              .check = FIRST + ".artifactLocation == {\"uri\": \"file:///usr/include/%C3%A9.h\"}"},
    SarifCase{.name = "ClosedAfterAnError", .results = {{"a.c", {1, 1, 81}}}, .successful = false,
              .check = "(" + RESULTS + " | length) == 1 and (.runs[0].invocations[0].executionSuccessful | not)"},
    SarifCase{.name = "ColumnInCharactersNotBytes", .results = {{"a.c", {4, 719, 90, 601}}},
              .check = FIRST + ".region.startColumn == 601 and .runs[0].columnKind == \"unicodeCodePoints\""},
    SarifCase{.name = "HighestLineAndColumn", .results = {{"a.c", {9223372036854775807, 359, 359, 359}}},
              .check = FIRST + ".region.startColumn == 359"}
), [](const testing::TestParamInfo<SarifCase> &info) { return std::string(info.param.name); });

} // namespace

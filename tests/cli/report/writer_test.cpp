// The table's columns: sized on the first 1 000 rows, which hold a number
// wider than the header when the wide row is among them; past them, the
// columns keep room for a total three digits wider than the rows seen, and
// a row or total too wide even for that widens its own row only. The writer
// writes to standard output, which each case points at a file of its own
// for the while.
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "report/writer.h"

namespace {

using namespace cli;

constexpr Count WIDE = 123456789; // 9 digits: wider than every header word

struct WidthCase {
    const char *name;
    Count rows;
    Count wideRow; // the row, counted from 1, whose line count is WIDE
};

void PrintTo(const WidthCase &c, std::ostream *os)
{
    *os << c.name;
}

class TableWidthTest : public testing::TestWithParam<WidthCase> {};

std::string pathOf(Count row)
{
    char path[32];
    std::snprintf(path, sizeof path, "f%lld.c", static_cast<long long>(row));
    return path;
}

// What the writer writes for the case's rows, each a file of one line but
// the wide one.
std::string tableOf(const WidthCase &c)
{
    FILE *file = std::tmpfile();
    const int saved = dup(STDOUT_FILENO);
    dup2(fileno(file), STDOUT_FILENO);
    const std::unique_ptr<Format> table = makeTable();
    FiguresWriter writer(*table, false, false);
    for (Count row = 1; row <= c.rows; row++) {
        const Count lines = row == c.wideRow ? WIDE : 1;
        writer.take({.request = {.path = pathOf(row)},
                     .outcome = {.state = TargetState::Measured, .figures = {.lines = lines, .identifiers = 1}}});
    }
    writer.finish();
    dup2(saved, STDOUT_FILENO);
    close(saved);
    std::string text;
    std::rewind(file);
    for (int c = 0; (c = std::fgetc(file)) != EOF;)
        text += static_cast<char>(c);
    std::fclose(file);
    return text;
}

std::size_t leadingSpaces(const std::string &line)
{
    return line.find_first_not_of(' ');
}

std::size_t digits(Count number)
{
    return std::to_string(number).size();
}

TEST_P(TableWidthTest, FirstThousandRowsSizeTheColumns)
{
    const WidthCase &c = GetParam();
    Count sample = 0; // the lines of the rows seen when the columns are sized
    for (Count row = 1; row <= std::min<Count>(c.rows, 1001); row++)
        sample += row == c.wideRow ? WIDE : 1;
    std::size_t linesWidth = c.wideRow <= 1000 ? 9 : 5; // "lines" is 5 wide
    if (c.rows > 1000) // room for a total three digits wider than the sample
        linesWidth = std::max(linesWidth, digits(sample) + 3);
    else
        linesWidth = std::max(linesWidth, digits(sample));
    std::istringstream table(tableOf(c));
    std::string line;
    ASSERT_TRUE(std::getline(table, line));
    EXPECT_EQ(leadingSpaces(line), linesWidth - 5) << "header: " << line;
    for (Count row = 1; row <= c.rows && std::getline(table, line); row++) {
        const std::string path = pathOf(row);
        ASSERT_TRUE(line.ends_with(path)) << line;
        const std::size_t width = digits(row == c.wideRow ? WIDE : 1);
        EXPECT_EQ(leadingSpaces(line), std::max(linesWidth, width) - width) << line;
    }
    ASSERT_TRUE(std::getline(table, line));
    const std::size_t total = digits(WIDE + c.rows - 1);
    EXPECT_EQ(leadingSpaces(line), std::max(linesWidth, total) - total) << "total: " << line;
}

INSTANTIATE_TEST_SUITE_P(Writer, TableWidthTest, testing::Values(
    WidthCase{"WideRow999Of999", 999, 999},
    WidthCase{"WideRow1000Of1000", 1000, 1000},
    WidthCase{"WideRow1000Of1002", 1002, 1000},
    WidthCase{"WideRow1001Of1001", 1001, 1001},
    WidthCase{"WideRow1002Of1002", 1002, 1002},
    WidthCase{"WideRow1001Of1002", 1002, 1001},
    WidthCase{"WideFirstRowOf1002", 1002, 1}
), [](const testing::TestParamInfo<WidthCase> &info) { return std::string(info.param.name); });

} // namespace

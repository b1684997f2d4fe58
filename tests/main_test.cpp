// The menu code: what selects a run mode and what is left for the next read.
#include "program.h"

namespace {

const std::string MARKER = "/*end_of_program*/\n";

INSTANTIATE_TEST_SUITE_P(MenuCode, ProgramTest, testing::Values(
    Case{.name = "CodeFiveSelectsNothing", .input = "5\n", .expected = ""},
    Case{.name = "CodeZeroSelectsNothing", .input = "0\n", .expected = ""},
    Case{.name = "NotANumberSelectsNothing", .input = "x\n", .expected = ""},
    Case{.name = "NoInputSelectsNothing", .input = "", .expected = ""},
    Case{.name = "BeyondIntSelectsNothing", .input = "4294967300\n", .expected = ""},
    Case{.name = "SignLeadingZerosAndEmptyLines", .input = "\n  +04\n" + MARKER, .expected = TYPE + report(0, 0)},
    Case{.name = "RestOfTheLineIsLineZero", .input = "4 abc def\nx\n" + MARKER, .expected = TYPE + report(0, 3)},
    Case{.name = "FailedReadSelectsNothingAndFails", .input = "", .expected = "Can't read input", .status = 1,
         .from = Stdin::Failing},
    Case{.name = "UnwritableOutputFails", .input = "4\n" + MARKER, .expected = "", .status = 1, .output = "/dev/full"}
), caseName);

} // namespace

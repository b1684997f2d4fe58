// The four run modes end to end, and the file scan's numbering and ties.
#include "program.h"

namespace {

const std::string NOTE = "int x; // note\n";

INSTANTIATE_TEST_SUITE_P(RunModes, ProgramTest, testing::Values(
    Case{.name = "FileToFile", .input = "1\nmain.c\nout.txt\n", .expected = SOURCE + RESULT,
         .source = NOTE, .file = "out.txt", .content = report(1, 2)},
    Case{.name = "FileToConsole", .input = "2\nmain.c\n", .expected = SOURCE + report(1, 2), .source = NOTE},
    Case{.name = "ConsoleToFile", .input = "3\nint a;\n/*end_of_program*/\nout.txt\n", .expected = TYPE + RESULT,
         .file = "out.txt", .content = report(1, 2)},
    Case{.name = "ConsoleToConsole", .input = "4\nint a;\n/*end_of_program*/\n", .expected = TYPE + report(1, 2)},
    Case{.name = "ResultFileIsReplaced", .input = "3\n/*end_of_program*/\nout.txt\n", .expected = TYPE + RESULT,
         .setup = "echo an older and longer text > out.txt", .file = "out.txt", .content = report(0, 0)},
    Case{.name = "EmptyFile", .input = "2\nempty.c\n", .expected = SOURCE + report(1, 0), .setup = "touch empty.c"},
    Case{.name = "NewlineCountsSoLastLineTies", .input = "2\nmain.c\n", .expected = SOURCE + report(1, 2), .source = "ab\ncde"},
    Case{.name = "LastLineWinsWithTwoMore", .input = "2\nmain.c\n", .expected = SOURCE + report(2, 2), .source = "ab\ncdef"},
    Case{.name = "CommentAcrossFileLines", .input = "2\nmain.c\n", .expected = SOURCE + report(2, 2),
         .source = "a /* b\nc */ de\n"}
), caseName);

} // namespace

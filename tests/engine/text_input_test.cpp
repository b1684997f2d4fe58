// Text-mode input through the program: CRLF and lone CR, zero bytes, and
// lines longer than the buffer, from a file and from standard input.
#include "program.h"

namespace {

const std::string MARKER = "/*end_of_program*/\n";
const std::string X400(400, 'x');
const std::string SPACES359(359, ' ');

INSTANTIATE_TEST_SUITE_P(TextInput, ProgramTest, testing::Values(
    Case{.name = "FileReturnBeforeNewlineIsDropped", .input = "2\nmain.c\n", .expected = SOURCE + report(2, 3),
         .source = "ab\r\na\rb\n"},
    Case{.name = "TypedReturnBeforeNewlineIsDropped", .input = "4\r\nab\r\na\rb\r\n/*end_of_program*/\r\n",
         .expected = TYPE + report(2, 3)},
    Case{.name = "FileZeroByteSeparates", .input = "2\nmain.c\n", .expected = SOURCE + report(1, 3),
         .source = std::string("ab\nc\0d\n", 7)},
    Case{.name = "LongFileLineComesInPieces", .input = "2\nmain.c\n", .expected = SOURCE + report(1, 2),
         .source = X400 + "\n"},
    Case{.name = "FullFilePieceLeavesNewlineAsNextLine", .input = "2\nmain.c\n", .expected = SOURCE + report(3, 1),
         .source = SPACES359 + "\nab\n"},
    Case{.name = "PieceBoundarySplitsLineComment", .input = "2\nmain.c\n", .expected = SOURCE + report(1, 2),
         .source = std::string(358, 'a') + "// b\n"},
    Case{.name = "LineCommentWithinOnePiece", .input = "2\nmain.c\n", .expected = SOURCE + report(1, 0),
         .source = std::string(300, 'a') + "// b\n"},
    Case{.name = "LongTypedLineComesInPieces", .input = "4\n" + X400 + "\n" + MARKER, .expected = TYPE + report(1, 2)},
    Case{.name = "FullTypedPieceTakesItsNewline", .input = "4\n" + SPACES359 + "\nx\n" + MARKER,
         .expected = TYPE + report(2, 1)}
), caseName);

} // namespace

// Console capture and the files: the end marker, the end of input, paths
// that are refused, and results that cannot be saved.
#include "program.h"

namespace {

const std::string MARKER = "/*end_of_program*/\n";
const std::string NAME99(99, 'n');
const std::string REFUSED = RESULT + CANT_OPEN;
const std::string CANT_READ = "Can't read input";
// A typed line of 359 characters and the marker: two pieces, the second the marker.
const std::string MARKER_AS_PIECE = std::string(359, 'x') + MARKER + "victim.txt rest\nint a;\n" + MARKER;
// The marker, a zero byte, and so much more that the line is whole or is not.
const std::string MARKER_ZERO = std::string("/*end_of_program*/\0", 19);
const std::string MARKER_ZERO_359 = MARKER_ZERO + std::string(340, 'x') + "\n";
const std::string MARKER_ZERO_360 = MARKER_ZERO + std::string(341, 'x') + "\n";
// Answers whose result path is the file they are read from.
const std::string ANSWERS_1 = "1\nmain.c\n./stdin\n";
const std::string ANSWERS_3 = "3\n" + MARKER + "stdin\n";

INSTANTIATE_TEST_SUITE_P(Console, ProgramTest, testing::Values(
    Case{.name = "MarkerWithLeadingSpacesIsSkippedUnnumbered", .input = "4\nab\n  " + MARKER + "abc\n" + MARKER,
         .expected = TYPE + report(2, 2)},
    Case{.name = "LineHoldingMarkerIsSkippedWhole", .input = "4\nx " + MARKER + MARKER, .expected = TYPE + report(0, 0)},
    Case{.name = "MarkerAsPieceOfLongLineDoesNotEndCapture", .input = "4\n" + MARKER_AS_PIECE,
         .expected = TYPE + report(1, 6)},
    Case{.name = "MarkerAsPieceOfLongLineSpendsNoLaterLineAsPath", .input = "3\n" + MARKER_AS_PIECE + "out.txt\n",
         .expected = TYPE + RESULT, .setup = "echo precious > victim.txt", .file = "victim.txt",
         .content = "precious\n"},
    Case{.name = "MarkerBeforeZeroByteEndsCapture", .input = "4\nab\n" + MARKER_ZERO + "tail\ncd\n",
         .expected = TYPE + report(1, 1)},
    Case{.name = "MarkerBeforeZeroBytesInFullLineEndsCapture", .input = "4\nab\n" + MARKER_ZERO_359 + "cd\n",
         .expected = TYPE + report(1, 1)},
    Case{.name = "MarkerBeforeZeroBytesInLongerLineIsSkipped", .input = "4\n" + MARKER_ZERO_360 + MARKER,
         .expected = TYPE + report(1, 1)},
    Case{.name = "OnlyEmptyLines", .input = "4\n\n\n" + MARKER, .expected = TYPE + report(0, 0)},
    Case{.name = "EndOfInputEndsCapture", .input = "4\nint a;\nb", .expected = TYPE + report(1, 3)},
    Case{.name = "EndOfInputAtResultPrompt", .input = "3\nx\n" + MARKER, .expected = TYPE + REFUSED, .status = 1},
    Case{.name = "PipeEndingCaptureEndsResultPathToo", .input = "3\nint a;", .expected = TYPE + REFUSED, .status = 1},
    Case{.name = "CtrlDEndsCaptureButNotResultPath", .input = "3\nint a;\n\x04out.txt\n", .expected = TYPE + RESULT,
         .file = "out.txt", .content = report(1, 2), .from = Stdin::Terminal},
    Case{.name = "CtrlDEndsCapture", .input = "4\nint a;\n\x04", .expected = TYPE + report(1, 2),
         .from = Stdin::Terminal},
    Case{.name = "NonBlockingInputIsAwaitedInCapture", .input = "4\nint a;\n", .expected = TYPE + report(1, 3),
         .from = Stdin::NonBlocking, .later = "b\n" + MARKER},
    Case{.name = "NonBlockingInputIsAwaitedAtResultPath", .input = "3\nint a;\n" + MARKER,
         .expected = TYPE + RESULT, .file = "out.txt", .content = report(1, 2), .from = Stdin::NonBlocking,
         .later = "out.txt\n"},
    Case{.name = "FailedReadStillReportsWhatWasTyped", .input = "4\nint a;\n",
         .expected = TYPE + report(1, 2) + "\n" + CANT_READ, .status = 1, .from = Stdin::Failing},
    Case{.name = "FailedReadInCaptureAsksForNoResultPath", .input = "3\nint a;\n", .expected = TYPE + CANT_READ,
         .status = 1, .from = Stdin::Failing},
    Case{.name = "FailedReadEndingResultPathSavesNothing", .input = "3\nint a;\n" + MARKER + "out.txt",
         .expected = TYPE + RESULT + CANT_READ, .status = 1, .setup = "echo older > out.txt", .file = "out.txt",
         .content = "older\n", .from = Stdin::Failing},
    Case{.name = "FullNonBlockingOutputIsAwaited", .input = "4\nint a;\n" + MARKER, .expected = TYPE + report(1, 2),
         .fullOutput = true}
), caseName);

INSTANTIATE_TEST_SUITE_P(Files, ProgramTest, testing::Values(
    Case{.name = "MissingSourceAborts", .input = "2\nnone.c\n", .expected = SOURCE + CANT_OPEN, .status = ABORTED},
    Case{.name = "DirectorySourceAborts", .input = "2\ndir\n", .expected = SOURCE + CANT_OPEN, .status = ABORTED,
         .setup = "mkdir dir"},
    Case{.name = "EndOfInputAtSourcePromptAborts", .input = "2\n", .expected = SOURCE + CANT_OPEN, .status = ABORTED},
    Case{.name = "OverlongSourcePathIsNotCut", .input = "2\n" + NAME99 + "n\n", .expected = SOURCE + CANT_OPEN,
         .status = ABORTED, .setup = "touch " + NAME99},
    Case{.name = "SourcePathWithZeroByteIsNotCut", .input = std::string("2\nab\0c\n", 7),
         .expected = SOURCE + CANT_OPEN, .status = ABORTED, .setup = "touch ab"},
    Case{.name = "OverlongResultPathIsNotCut", .input = "3\n" + MARKER + NAME99 + "n\n", .expected = TYPE + REFUSED,
         .status = 1, .file = NAME99, .content = ""},
    Case{.name = "ResultInMissingDirectory", .input = "1\nmain.c\nno/out.txt\n", .expected = SOURCE + REFUSED,
         .status = 1, .source = "x\n"},
    Case{.name = "ResultOnFullDisk", .input = "1\nmain.c\n/dev/full\n",
         .expected = SOURCE + RESULT + "Can't write file", .status = 1, .source = "x\n"},
    Case{.name = "ResultOverSourceRelative", .input = "1\nmain.c\n./main.c\n", .expected = SOURCE + REFUSED,
         .status = 1, .source = "x\n"},
    Case{.name = "ResultOverSourceAbsolute", .input = "1\nmain.c\n@/main.c\n", .expected = SOURCE + REFUSED,
         .status = 1, .source = "x\n"},
    Case{.name = "ResultOverSourceSymlink", .input = "1\nmain.c\nlink.c\n", .expected = SOURCE + REFUSED,
         .status = 1, .source = "x\n", .setup = "ln -s main.c link.c"},
    Case{.name = "ResultOverSourceHardLink", .input = "1\nhard.c\nmain.c\n", .expected = SOURCE + REFUSED,
         .status = 1, .source = "x\n", .setup = "ln main.c hard.c"},
    Case{.name = "UnreadableSourceIsNoSuccess", .input = "2\n/proc/self/mem\n",
         .expected = SOURCE + report(1, 0) + "\n" + CANT_READ, .status = 1},
    Case{.name = "UnreadableSourceSavesNoResult", .input = "1\n/proc/self/mem\nmemres.txt\n",
         .expected = SOURCE + CANT_READ, .status = 1, .setup = "echo older > memres.txt", .file = "memres.txt",
         .content = "older\n"},
    Case{.name = "ResultBeyondFileSizeLimit", .input = "1\nmain.c\nout.txt\n",
         .expected = SOURCE + RESULT + "Can't write file", .status = 1, .source = "x\n", .file = "out.txt",
         .content = "", .noFileGrowth = true},
    Case{.name = "DeviceMayBeSourceAndResult", .input = "1\n/dev/null\n/dev/null\n", .expected = SOURCE + RESULT},
    Case{.name = "MissingSourceAbortsWithoutCoreFile", .input = "2\nnone.c\n", .expected = SOURCE + CANT_OPEN,
         .status = ABORTED, .coreDumps = true},
    Case{.name = "FailedReadAtSourcePromptFails", .input = "2\n", .expected = SOURCE + CANT_READ, .status = 1,
         .from = Stdin::Failing},
    Case{.name = "FailedReadEndingSourcePathOpensNothing", .input = "2\nmain.c", .expected = SOURCE + CANT_READ,
         .status = 1, .source = "x\n", .from = Stdin::Failing},
    Case{.name = "FailedReadAtResultPromptFails", .input = "1\nmain.c\n", .expected = SOURCE + RESULT + CANT_READ,
         .status = 1, .source = "x\n", .from = Stdin::Failing},
    Case{.name = "ResultOverStandardInputInModeOne", .input = ANSWERS_1, .expected = SOURCE + REFUSED, .status = 1,
         .source = "x\n", .file = "stdin", .content = ANSWERS_1},
    Case{.name = "ResultOverStandardInputInModeThree", .input = ANSWERS_3, .expected = TYPE + REFUSED, .status = 1,
         .file = "stdin", .content = ANSWERS_3},
    Case{.name = "TerminalMayBeInputAndResult", .input = "3\n" + MARKER + "/dev/stdin\n", .expected = TYPE + RESULT,
         .from = Stdin::Terminal}
), caseName);

} // namespace

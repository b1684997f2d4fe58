// The menu code: what selects a run mode and what is left for the next read.
// Then the instruction set named in CMEASURE_SIMD, for both faces.
#include <deque>

#include "counting.h"
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

// A comment over two lines, one of them CRLF, a string holding "//", a tab
// and a line longer than a block of 64 bytes.
const std::string SOURCE_TEXT =
    "/* a comment that runs\r\n   over two lines */ int main(void) { return 0; }\n"
    "const char *s = \"a // string\"; long identifier_running_past_the_first_block_of_64_bytes = 1L;\n"
    "\t\"x\" y\n";
const std::string TABLE = "lines  densest_line  max_symbols  identifiers  path\n"
                          "    4             3           84           11  main.c\n";

// A run whose standard output goes to out.txt, which must stay empty: the
// refusal comes before anything is written, the menu included.
Case refused(Case c, const std::string &refusal)
{
    c.expected = "";
    c.errors = "cmeasure: CMEASURE_SIMD: " + refusal + "\n";
    c.status = 2;
    c.output = "out.txt";
    c.file = "out.txt";
    c.content = "";
    return c;
}

// Every instruction set gives the same figures in both faces: the typed
// lines of mode 4 through the line counters, a file on the command line
// through the file scan. A set the processor does not run is refused.
std::vector<Case> eachInstructionSet()
{
    static std::deque<std::string> names; // the cases' names point into it
    std::vector<Case> cases;
    for (InstructionSet set : INSTRUCTION_SETS) {
        const std::string name = nameOf(set);
        const Case menu{.name = names.emplace_back("TypedLinesWith_" + name).c_str(),
                        .input = "4\n" + SOURCE_TEXT + MARKER, .expected = TYPE + report(3, 11),
                        .environment = {"CMEASURE_SIMD=" + name}};
        const Case commandLine{.name = names.emplace_back("FileOnTheCommandLineWith_" + name).c_str(),
                               .args = {"--rules=menu", "main.c"}, .expected = TABLE, .source = SOURCE_TEXT,
                               .environment = {"CMEASURE_SIMD=" + name}};
        for (const Case &c : {menu, commandLine})
            cases.push_back(processorRuns(set) ? c : refused(c, "the processor does not run " + name));
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(InstructionSets, ProgramTest, testing::ValuesIn(eachInstructionSet()), caseName);

INSTANTIATE_TEST_SUITE_P(InstructionSetNames, ProgramTest, testing::Values(
    Case{.name = "EmptyNameMeansTheWidest", .args = {"--rules=menu", "main.c"}, .expected = TABLE, .source = SOURCE_TEXT,
         .environment = {"CMEASURE_SIMD="}},
    refused(Case{.name = "UnknownNameIsRefusedEscaped", .args = {"--rules=menu", "main.c"}, .expected = "", .source = SOURCE_TEXT,
                 .environment = {"CMEASURE_SIMD=avx2\n\\"}}, "unknown instruction set 'avx2\\n\\\\'"),
    refused(Case{.name = "UnknownNameIsRefusedBeforeTheMenu", .input = "4\n" + SOURCE_TEXT + MARKER, .expected = "",
                 .environment = {"CMEASURE_SIMD=AVX2"}}, "unknown instruction set 'AVX2'")
), caseName);

} // namespace

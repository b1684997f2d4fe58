// Runs the built program end to end: in a fresh directory, with scripted
// standard input, checking what it prints, its exit status and its files.
// Standard output is a pipe, so that no limit on files applies to it; it
// may start full, to be drained once the program waits. A program still
// running after a minute is ended by SIGALRM, and its case fails.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

inline const std::string MENU =
    "Redat s max broj znacheshti simvoli i broj identifikatori v prog\n"
    "----------------------------------------------------------------\n\n"
    "Menu:\n"
    "\t 1 - Read from file, write in file\n"
    "\t 2 - Read from file, write in console\n"
    "\t 3 - Read from console, write in file\n"
    "\t 4 - Read from console, write in console\n\n"
    "Menu code: ";
inline const std::string TYPE = "Start typing the code, write \"/*end_of_program*/\" on a single line to stop typing \n";
inline const std::string SOURCE = "Enter the path to the file with extention *.c \n";
inline const std::string RESULT = "Enter path to save the results in file with extention *.txt \n";
inline const std::string CANT_OPEN = "Can't open file";

std::string report(int line, int identifiers);

constexpr int ABORTED = -1;

// What standard input is: a file that holds the input, or what a file
// cannot stand for.
enum class Stdin {
    File,
    Terminal,    // a pseudo-terminal the input is typed into; "\x04" is Ctrl-D
    NonBlocking, // a pipe left non-blocking: the input, and `later` once the program waits
    Failing,     // a socket whose read fails (ECONNRESET) after the input
};

struct Case {
    const char *name;
    std::vector<std::string> args = {}; // the command line; none gives the menu
    std::string input = "";   // standard input; "@" stands for the run's directory
    std::string expected;     // what is printed (after the menu, when there is one)
    std::string errors = "";  // what is printed on standard error; "@" stands for the run's directory
    int status = 0;           // exit status, or ABORTED
    std::string source = "";  // main.c in the run's directory
    std::string setup = "";   // shell commands run in the directory first; exit 77 skips the case
    std::string teardown = ""; // shell commands run in the directory after the program
    std::string file = "";    // a file that must then hold `content`
    std::string content = "";
    const char *output = nullptr; // where standard output goes, if not to the test (in the run's directory)
    bool unprivileged = false;    // run without root's power to pass permission checks
    Stdin from = Stdin::File;
    std::string later = "";
    bool noFileGrowth = false; // run under a file-size limit of 0 (ulimit -f 0)
    bool coreDumps = false;    // run with core dumps allowed, and check that none is made
    bool fullOutput = false;   // standard output a non-blocking pipe, already full when the program starts
    std::vector<std::string> environment = {}; // NAME=VALUE settings for the program
    unsigned descriptors = 0;  // run under this limit on open files (ulimit -n)
    std::string shell = "";    // sh -c runs this instead of the program, which it finds as cmeasure
    bool oneStream = false;    // standard error into the pipe of standard output, so that `expected` shows their order
    std::vector<int> terminal = {}; // descriptors on one pseudo-terminal; `errors` is then what stays on its screen
    std::string shown = "";    // what must have appeared on that terminal on the way; if empty, nothing but what stays
    bool readerLeaves = false; // the reader of standard output closes it once it has read `expected`
    unsigned short columns = 0; // the width of the case's terminal; 0 leaves it as the system makes it
};

inline void PrintTo(const Case &c, std::ostream *os)
{
    *os << c.name;
}

class ProgramTest : public testing::TestWithParam<Case> {};

std::string caseName(const testing::TestParamInfo<Case> &info);

namespace programtest {

// What `command`, run by sh, prints; it must exit with `status`.
std::string output(const std::string &command, int status = 0);

} // namespace programtest

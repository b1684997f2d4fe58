// cmeasure: reports the line with the most significant characters and the
// number of identifiers of a C source, read from a file or typed in.
#include <algorithm>
#include <cctype>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "main.h"

#include "counters.h"
#include "iofunctions.h"
#include "casefunctions.h"
#include "commandline.h"
#include "descriptors.h"
#include "output.h"
#include "text_input.h"

FILE *fp = nullptr;
char line[NUM_OF_CHARS_IN_LINE] = {};
std::int64_t lineWithMaxSymbols = 0;
std::int64_t countIdentificators = 0;
int exitStatus = 0;
bool inputFailed = false;

namespace {

// Reads a decimal integer the way formatted input does: white space, then an
// optional sign and digits, leaving the first other character unread. The
// magnitude is held at 2^32 once past it, so a number beyond int's range
// stays beyond it and selects nothing, as does anything that is not a number.
void readMenuCode(int &menuOption)
{
    long long magnitude = 0;
    bool negative = false;
    bool digits = false;

    TextInput &input = consoleInput();
    input.skipWhiteSpace();
    int c = input.peek();
    if (c == '+' || c == '-') {
        negative = c == '-';
        input.get();
    }
    for (c = input.peek(); c != EOF && std::isdigit(c); c = input.peek()) {
        input.get();
        magnitude = std::min(magnitude * 10 + (c - '0'), 1LL << 32);
        digits = true;
    }
    long long value = negative ? -magnitude : magnitude;
    if (digits && value >= INT_MIN && value <= INT_MAX)
        menuOption = static_cast<int>(value);
}

// Both faces count with the instruction set that CMEASURE_SIMD names, or,
// when it is unset or empty, with the widest the processor runs. A name the
// engine does not know, or a set the processor does not run, is refused
// before anything is read or written.
bool chooseInstructionSetOfEnvironment()
{
    const char *value = std::getenv("CMEASURE_SIMD");
    const std::string name = value != nullptr ? value : "";
    std::string refusal;
    switch (chooseInstructionSet(name.c_str())) {
    case SetChoice::Chosen: return true;
    case SetChoice::Unknown: refusal = "unknown instruction set '" + cli::printablePath(name) + "'"; break;
    case SetChoice::NotRun: refusal = "the processor does not run " + cli::printablePath(name); break;
    }
    if (writeWhenReady(STDERR_FILENO, "cmeasure: CMEASURE_SIMD: " + refusal + "\n") != 0) {
        // Nowhere left to say it; the exit status still tells.
    }
    return false;
}

} // namespace

// With arguments the program is a command-line tool; without any, the menu.
int main(int argc, char **argv)
{
    int menuOption = 0;

    if (!chooseInstructionSetOfEnvironment())
        return 2;

    // Beyond a file-size limit a write then fails instead of ending the
    // process, and the lost result is reported like any other.
    std::signal(SIGXFSZ, SIG_IGN);
    if (argc > 1)
        return cli::runCommandLine(argc, argv);

    writeConsole("Redat s max broj znacheshti simvoli i broj identifikatori v prog\n"
                 "----------------------------------------------------------------\n\n"
                 "Menu:\n"
                 "\t 1 - Read from file, write in file\n"
                 "\t 2 - Read from file, write in console\n"
                 "\t 3 - Read from console, write in file\n"
                 "\t 4 - Read from console, write in console\n\n"
                 "Menu code: ");
    readMenuCode(menuOption);

    switch (menuOption) {
    case 1: caseFileFile(); break;
    case 2: caseFileConsole(); break;
    case 3: caseConsoleFile(); break;
    case 4: caseConsoleConsole(); break;
    default:
        // Nothing was selected because nothing could be read: no success.
        if (consoleInput().error() != 0)
            writeReadFailure();
        break;
    }
    return exitStatus;
}

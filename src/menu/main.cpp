// The menu: its title, its codes and the state that its units share.
#include <algorithm>
#include <cctype>
#include <climits>

#include "main.h"

#include "counters.h"
#include "iofunctions.h"
#include "casefunctions.h"
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

} // namespace

int runMenu()
{
    int menuOption = 0;

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

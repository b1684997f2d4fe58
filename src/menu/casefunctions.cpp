#include "casefunctions.h"

#include "counters.h"
#include "iofunctions.h"

// Console capture measures lines as they arrive, so only the file modes
// need a scan between reading and reporting. A file mode whose source path
// could not be read ends there.

void caseFileFile()
{
    if (!readFromFile())
        return;
    counter();
    writeInFile();
}

void caseFileConsole()
{
    if (!readFromFile())
        return;
    counter();
    writeInConsole();
}

void caseConsoleFile()
{
    readFromConsole();
    writeInFile();
}

void caseConsoleConsole()
{
    readFromConsole();
    writeInConsole();
}

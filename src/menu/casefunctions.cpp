#include "casefunctions.h"

#include "counters.h"
#include "iofunctions.h"

// Console capture measures lines as they arrive, so only the file modes
// need a scan between reading and reporting.

void caseFileFile()
{
    readFromFile();
    counter();
    writeInFile();
}

void caseFileConsole()
{
    readFromFile();
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

#include "counters.h"

#include "main.h"

bool is_in_comment = false;

int countSymbolsInLine(const char *line)
{
    return countSymbols(line);
}

int countIdentificatorsInLine(const char *line)
{
    return countIdentifiers(line, is_in_comment);
}

// The menu's file, delivered through a buffer of its own that lasts the run.
void counter()
{
    static TextInput input(-1);
    input.reopen(fileno(fp));
    const Scan scan = scanLines(input, line);
    // The figures of a file that could not be read to its end are not the
    // file's figures: the report says so, and they are not saved.
    if (scan.error != 0)
        inputFailed = true;
    lineWithMaxSymbols = scan.figures.lineWithMaxSymbols;
    countIdentificators = scan.figures.identifiers;
}

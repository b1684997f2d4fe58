#include "counters.h"

#include <cstring>

#include "main.h"
#include "platform.h"

bool is_in_comment = false;

namespace {

// Byte classes by value alone: bytes of 0x80 and above are separators.
bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isSeparator(char c)
{
    return !isLetter(c) && !isDigit(c) && c != '_';
}

} // namespace

int countSymbolsInLine(const char *line)
{
    int count = 0;
    for (int i = 0; i < NUM_OF_CHARS_IN_LINE; i++)
        count += line[i] != ' ' && line[i] != '\0';
    return count;
}

// One flag serves block comments and strings alike, and the whole buffer is
// scanned, past the first zero byte: the zero fill behind the text is what
// ends an identifier at the end of the line and what lets a quote rule act
// after the text. The pair tests never look past position 359.
int countIdentificatorsInLine(const char *line)
{
    int count = 0;
    bool counter_start = false;
    for (int i = 0; i < NUM_OF_CHARS_IN_LINE; i++) {
        char c = line[i];
        char next = i + 1 < NUM_OF_CHARS_IN_LINE ? line[i + 1] : '\0';
        if (!is_in_comment) {
            if (c == '/' && next == '/')
                return count;
            if ((c == '/' && next == '*') || c == '"') {
                is_in_comment = true;
                continue;
            }
            if (isLetter(c) || c == '_') {
                counter_start = true;
            } else if (counter_start && isSeparator(c)) {
                count++;
                counter_start = false;
            }
        }
        if (c == '*' && next == '/')
            is_in_comment = false;
        if (line[0] == '"' || (i > 0 && c == '"' && line[i - 1] != '/'))
            is_in_comment = false;
    }
    return count;
}

// File lines are numbered from 1; a line longer than the buffer arrives in
// pieces, each measured and numbered as a line of its own.
void counter()
{
    int count = 0;
    int current_max_symbols;
    int count_max_symbols = 0;
    int line_number = 1;
    int i = 1;

    while (readTextLine(line, NUM_OF_CHARS_IN_LINE, fp) > 0) {
        count += countIdentificatorsInLine(line);
        current_max_symbols = countSymbolsInLine(line);
        if (current_max_symbols > count_max_symbols) {
            count_max_symbols = current_max_symbols;
            line_number = i;
        }
        i++;
        std::memset(line, 0, NUM_OF_CHARS_IN_LINE);
    }
    // The figures of a file that could not be read to its end are not the
    // file's figures: they are still reported, but not as a success.
    if (textInputFailed(fp))
        exitStatus = 1;
    lineWithMaxSymbols = line_number;
    countIdentificators = count;
}

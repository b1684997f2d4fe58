#include "iofunctions.h"

#include <cctype>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>

#include "counters.h"
#include "main.h"
#include "text_input.h"

// A macro, so that the compiler checks the arguments of every use.
#define REPORT "Result:\nLine with max symbols: %" PRId64 " \nCount of identificators: %" PRId64

namespace {

constexpr int NUM_OF_CHARS_IN_NAME = 100;

// Identity of the input file, so that a result is never written over it
// under whatever name the user gives it.
struct stat inputFileStatus;
bool inputFileKnown = false;

void closeInputFile()
{
    if (fp != nullptr) {
        std::fclose(fp);
        fp = nullptr;
    }
}

// Reads one typed line into `line`, without its newline, and returns the
// number of bytes it wrote there, 0 at the end of input. A longer line comes
// in pieces of 359 characters; the newline right after a full piece belongs
// to it, so that no empty piece follows. `endsLine` tells whether the piece
// is the last of its line, which a full piece is only when a newline or the
// end of input follows it.
int readConsoleLine(bool &endsLine)
{
    TextInput &input = consoleInput();
    int length = input.readLine(line, NUM_OF_CHARS_IN_LINE);
    endsLine = true;
    if (length > 0 && line[length - 1] == '\n')
        line[length - 1] = '\0';
    else if (length == NUM_OF_CHARS_IN_LINE - 1 && input.peek() == '\n')
        input.get();
    else if (length == NUM_OF_CHARS_IN_LINE - 1)
        endsLine = input.peek() == EOF;
    return length;
}

// Reads a path as one white-space-delimited word. A path that is missing at
// the end of input, longer than `name` holds, or holding a zero byte (which
// would cut it) is refused: no file is ever opened under a name not typed.
// An end of input that ended an earlier answer does not end this one: a
// terminal is read again after Ctrl-D.
bool readPath(char (&name)[NUM_OF_CHARS_IN_NAME])
{
    int length = 0;
    bool whole = true;
    TextInput &input = consoleInput();
    input.resume();
    input.skipWhiteSpace();
    for (int c = input.peek(); c != EOF && !std::isspace(c); c = input.peek()) {
        input.get();
        if (c == '\0' || length == NUM_OF_CHARS_IN_NAME - 1)
            whole = false;
        else
            name[length++] = static_cast<char>(c);
    }
    name[length] = '\0';
    return whole && length > 0;
}

// Only a regular file can be lost by writing over it: a device such as
// /dev/null may be both the source and the result.
bool namesInputFile(const char *name)
{
    struct stat result;
    return inputFileKnown && S_ISREG(inputFileStatus.st_mode) && stat(name, &result) == 0 &&
           result.st_dev == inputFileStatus.st_dev && result.st_ino == inputFileStatus.st_ino;
}

// Ends the process abnormally, as an input that cannot be opened always has,
// but without a core file: the dump of a run ended on purpose is of no use
// and would replace any file named core in the user's directory. Lowering
// a limit cannot fail.
[[noreturn]] void abortWithoutCore()
{
    const rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    std::abort();
}

} // namespace

void writeConsole(const char *text)
{
    if (std::fputs(text, stdout) == EOF)
        exitStatus = 1;
}

void writeReadFailure()
{
    writeConsole("Can't read input");
    exitStatus = 1;
}

// Console lines are numbered from 0: the first line read is the rest of the
// menu-code line, normally empty. Only a whole line that is the marker ends
// the capture: a piece of a longer line never does, or a long line could end
// it halfway and leave its rest to be taken as the result path. Lines and
// pieces holding the marker anywhere else are skipped unnumbered. Each read
// is preceded by zeroing the bytes the last one wrote, which leaves the
// whole buffer zero as the counters need. The end of input ends the capture;
// one that ended the menu-code answer does not, as for a path.
void readFromConsole()
{
    char check[19] = "/*end_of_program*/";
    int count_max_symbols = 0;
    int current_max_symbols;
    std::int64_t i = 0;
    int length = 0;
    bool startsLine = true;
    bool endsLine = true;

    writeConsole("Start typing the code, write \"/*end_of_program*/\" on a single line to stop typing \n");
    consoleInput().resume();
    for (;; startsLine = endsLine) {
        std::memset(line, 0, static_cast<size_t>(length));
        if ((length = readConsoleLine(endsLine)) == 0)
            break;
        // The marker is looked for in the text up to its first zero byte;
        // a line without a '/' cannot hold it, and most lines have none.
        if (std::memchr(line, '/', static_cast<size_t>(length)) != nullptr) {
            const std::string_view text(line);
            if (text == check && startsLine && endsLine)
                break;
            if (text.find(check) != std::string_view::npos)
                continue;
        }
        countIdentificators += countIdentificatorsInLine(line);
        current_max_symbols = countSymbolsInLine(line);
        if (current_max_symbols > count_max_symbols) {
            count_max_symbols = current_max_symbols;
            lineWithMaxSymbols = i;
        }
        i++;
    }
    if (consoleInput().error() != 0)
        inputFailed = true;
}

void writeInConsole()
{
    closeInputFile();
    if (std::printf(REPORT, lineWithMaxSymbols, countIdentificators) < 0)
        exitStatus = 1;
    if (inputFailed) {
        writeConsole("\n");
        writeReadFailure();
    }
}

// Linux opens a directory for reading although every read of it fails, so a
// directory is refused here rather than measured as an empty file.
void readFromFile()
{
    char name[NUM_OF_CHARS_IN_NAME];

    writeConsole("Enter the path to the file with extention *.c \n");
    if (readPath(name))
        fp = std::fopen(name, "r");
    if (fp != nullptr && (fstat(fileno(fp), &inputFileStatus) != 0 || S_ISDIR(inputFileStatus.st_mode)))
        closeInputFile();
    if (fp == nullptr) {
        writeConsole("Can't open file");
        abortWithoutCore();
    }
    inputFileKnown = true;
}

void writeInFile()
{
    char name[NUM_OF_CHARS_IN_NAME];

    closeInputFile();
    // Figures of part of the input would pass for those of the whole.
    if (inputFailed) {
        writeReadFailure();
        return;
    }
    writeConsole("Enter path to save the results in file with extention *.txt \n");
    if (!readPath(name) || namesInputFile(name) || (fp = std::fopen(name, "w")) == nullptr) {
        writeConsole("Can't open file");
        exitStatus = 1;
        return;
    }
    bool written = std::fprintf(fp, REPORT, lineWithMaxSymbols, countIdentificators) >= 0;
    written = std::fclose(fp) == 0 && written;
    fp = nullptr;
    if (!written) {
        writeConsole("Can't write file");
        exitStatus = 1;
    }
}

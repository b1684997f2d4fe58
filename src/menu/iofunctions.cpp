#include "iofunctions.h"

#include <cctype>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "counters.h"
#include "descriptors.h"
#include "main.h"
#include "text_input.h"

namespace {

constexpr int NUM_OF_CHARS_IN_NAME = 100;
// The report with two numbers of at most 20 characters each, and a zero.
constexpr int REPORT_SIZE = 128;

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

// The result report, in `text`.
void formatReport(char (&text)[REPORT_SIZE])
{
    std::snprintf(text, sizeof text, "Result:\nLine with max symbols: %" PRId64 " \nCount of identificators: %" PRId64,
                  lineWithMaxSymbols, countIdentificators);
}

// Reads a path as one white-space-delimited word. A path that is missing at
// the end of input, longer than `name` holds, or holding a zero byte (which
// would cut it) is refused: no file is ever opened under a name not typed.
// So is a word that a failed read ended, since more of it may have been
// typed; the caller tells that case by consoleInput().error(). An end of
// input that ended an earlier answer does not end this one: a terminal is
// read again after Ctrl-D.
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
    return whole && length > 0 && input.error() == 0;
}

// Only a regular file can be lost by writing over it: a device such as
// /dev/null may be both the source and the result.
bool sameRegularFile(const struct stat &input, const struct stat &result)
{
    return S_ISREG(input.st_mode) && result.st_dev == input.st_dev && result.st_ino == input.st_ino;
}

// Whether `name` is the input file or the file that standard input reads
// the answers from, however spelled.
bool namesAnInput(const char *name)
{
    struct stat result;
    struct stat answers;
    if (stat(name, &result) != 0)
        return false;
    return (inputFileKnown && sameRegularFile(inputFileStatus, result)) ||
           (fstat(STDIN_FILENO, &answers) == 0 && sameRegularFile(answers, result));
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

// Straight to the descriptor, so that each prompt is on screen before the
// answer is awaited and nothing waits in a buffer when the process aborts.
// A paused terminal or a full pipe is waited for, not taken as a failure.
void writeConsole(const char *text)
{
    if (writeWhenReady(STDOUT_FILENO, text) != 0)
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
    char report[REPORT_SIZE];

    closeInputFile();
    formatReport(report);
    writeConsole(report);
    if (inputFailed) {
        writeConsole("\n");
        writeReadFailure();
    }
}

// Linux opens a directory for reading although every read of it fails, so a
// directory is refused here rather than measured as an empty file. A failed
// read of the path is no fault of the path: it is reported as such, and the
// run ends normally.
bool readFromFile()
{
    char name[NUM_OF_CHARS_IN_NAME];

    writeConsole("Enter the path to the file with extention *.c \n");
    if (readPath(name))
        fp = std::fopen(name, "r");
    if (fp != nullptr && (fstat(fileno(fp), &inputFileStatus) != 0 || S_ISDIR(inputFileStatus.st_mode)))
        closeInputFile();
    if (fp == nullptr && consoleInput().error() != 0) {
        writeReadFailure();
        return false;
    }
    if (fp == nullptr) {
        writeConsole("Can't open file");
        abortWithoutCore();
    }
    inputFileKnown = true;
    return true;
}

void writeInFile()
{
    char name[NUM_OF_CHARS_IN_NAME];
    char report[REPORT_SIZE];

    closeInputFile();
    // Figures of part of the input would pass for those of the whole.
    if (inputFailed) {
        writeReadFailure();
        return;
    }
    writeConsole("Enter path to save the results in file with extention *.txt \n");
    const bool named = readPath(name);
    if (consoleInput().error() != 0) {
        writeReadFailure();
        return;
    }
    if (!named || namesAnInput(name) || (fp = std::fopen(name, "w")) == nullptr) {
        writeConsole("Can't open file");
        exitStatus = 1;
        return;
    }
    formatReport(report);
    bool written = std::fputs(report, fp) != EOF;
    written = std::fclose(fp) == 0 && written;
    fp = nullptr;
    if (!written) {
        writeConsole("Can't write file");
        exitStatus = 1;
    }
}

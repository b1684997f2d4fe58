#include "program.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// rm copes with trees deeper than PATH_MAX, which remove_all does not. A
// directory that a case made unreadable, which only root removes as it is,
// gets its owner's permissions back first (chmod passes links over).
void removeTree(const fs::path &dir)
{
    std::error_code error;
    if (fs::remove_all(dir, error) == static_cast<std::uintmax_t>(-1) || error) {
        EXPECT_EQ(std::system(("chmod -R u+rwx " + dir.string() + " && rm -rf " + dir.string()).c_str()), 0);
    }
}

std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// Inputs are small: one write takes each whole.
bool writeAll(int fd, const std::string &text)
{
    return write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

// Reads to the end, or until `most` bytes are read.
std::string readAll(int fd, size_t most = std::string::npos)
{
    std::string text;
    char bytes[4096];
    for (ssize_t got; text.size() < most && (got = read(fd, bytes, std::min(sizeof bytes, most - text.size()))) > 0;)
        text.append(bytes, static_cast<size_t>(got));
    return text;
}

// A pseudo-terminal: the side the test reads and writes, and the side
// the program has, opened with `mode`.
bool openPseudoTerminal(int &master, int &slave, int mode)
{
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return false;
    slave = open(ptsname(master), mode | O_NOCTTY | O_CLOEXEC);
    return slave >= 0;
}

// What stays on a terminal's screen after `text` was written to it: a
// carriage return goes back to the start of the line, and the spaces that
// end a line are not seen. On a screen `columns` wide (0: as wide as need
// be), a character after the last column goes on at the start of a new line.
std::string screenOf(const std::string &text, unsigned short columns)
{
    // A cell holds a character: the bytes that continue a UTF-8 sequence
    // stay in the cell of its first.
    std::vector<std::vector<std::string>> lines(1);
    size_t column = 0;
    for (const char c : text) {
        if (c == '\r' || c == '\n') {
            column = 0;
            if (c == '\n')
                lines.emplace_back();
        } else if ((static_cast<unsigned char>(c) & 0xC0) == 0x80 && column > 0) {
            lines.back()[column - 1] += c;
        } else {
            if (columns > 0 && column == columns) {
                lines.emplace_back();
                column = 0;
            }
            lines.back().resize(std::max(lines.back().size(), column + 1), " ");
            lines.back()[column++] = std::string(1, c);
        }
    }
    std::string screen;
    std::string line;
    for (std::vector<std::string> &cells : lines) {
        line.clear();
        for (const std::string &cell : cells)
            line += cell;
        line.erase(line.find_last_not_of(' ') + 1);
        screen += line + "\n";
    }
    return screen.substr(0, screen.size() - (line.empty() ? 1 : 0));
}

// Standard input as the program will have it (`read`), and the side the
// test writes to later, if any.
struct Input {
    int read = -1;
    int write = -1;
};

// Makes standard input of the case's kind, holding `text`. Only a
// pseudo-terminal may be missing where the tests run.
bool prepareInput(const Case &c, const fs::path &dir, const std::string &text, Input &in)
{
    int ends[2];
    switch (c.from) {
    case Stdin::File:
        writeFile(dir / "stdin", text);
        in.read = open((dir / "stdin").c_str(), O_RDONLY | O_CLOEXEC);
        return in.read >= 0;
    case Stdin::Terminal:
        // In canonical mode each read delivers one typed line, and Ctrl-D
        // at the start of a line one read of nothing.
        return openPseudoTerminal(in.write, in.read, O_RDONLY) && writeAll(in.write, text);
    case Stdin::NonBlocking:
        if (pipe2(ends, O_CLOEXEC) != 0)
            return false;
        in = {ends[0], ends[1]};
        return fcntl(in.read, F_SETFL, O_NONBLOCK) == 0 && writeAll(in.write, text);
    case Stdin::Failing: {
        // A socket closed with bytes it never read leaves its peer a read
        // that fails once the bytes sent to the peer are read.
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
            return false;
        in.read = ends[1];
        const bool sent = writeAll(ends[0], text) && writeAll(ends[1], "x");
        close(ends[0]);
        return sent;
    }
    }
    return false;
}

// Root passes permission checks by these two capabilities; dropped from the
// bounding set, they are gone after exec too.
bool dropPermissionOverride()
{
    return geteuid() != 0 || (prctl(PR_CAPBSET_DROP, 1 /* CAP_DAC_OVERRIDE */, 0, 0, 0) == 0 &&
                              prctl(PR_CAPBSET_DROP, 2 /* CAP_DAC_READ_SEARCH */, 0, 0, 0) == 0);
}

// Puts the case's descriptors on the terminal.
bool placeOnTerminal(const Case &c, int terminal)
{
    for (const int fd : c.terminal)
        if (dup2(terminal, fd) != fd)
            return false;
    return true;
}

// The program, or the case's shell command with the program's directory
// first in PATH; either ends by SIGALRM if it runs for a minute.
void execCase(const Case &c, std::vector<char *> &argv)
{
    alarm(60);
    if (c.shell.empty())
        execv(CMEASURE_PATH, argv.data());
    const char *inherited = std::getenv("PATH");
    const std::string path = fs::path(CMEASURE_PATH).parent_path().string() + ":" + (inherited ? inherited : "/bin");
    setenv("PATH", path.c_str(), 1);
    execl("/bin/sh", "sh", "-c", c.shell.c_str(), nullptr);
}

// The child: limits, directory and descriptors, then the program with the
// case's arguments; standard error goes to the file "stderr".
[[noreturn]] void execProgram(const Case &c, const fs::path &dir, int input, int output, int terminal)
{
    std::vector<char *> argv = {const_cast<char *>(CMEASURE_PATH)};
    for (const std::string &arg : c.args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    rlimit core = {0, 0}; // an expected abort leaves no core file
    if (c.coreDumps && getrlimit(RLIMIT_CORE, &core) == 0)
        core.rlim_cur = core.rlim_max;
    setrlimit(RLIMIT_CORE, &core);
    rlimit noGrowth = {0, 0};
    if (c.noFileGrowth)
        setrlimit(RLIMIT_FSIZE, &noGrowth);
    for (const std::string &setting : c.environment) {
        const size_t equals = setting.find('=');
        setenv(setting.substr(0, equals).c_str(), setting.c_str() + equals + 1, 1);
    }
    if (chdir(dir.c_str()) != 0)
        _exit(127);
    if (c.output)
        output = open(c.output, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (dup2(input, 0) == 0 && dup2(output, 1) == 1 &&
        dup2(c.oneStream ? output : open("stderr", O_WRONLY | O_CREAT | O_TRUNC, 0600), 2) == 2 &&
        placeOnTerminal(c, terminal) && (!c.unprivileged || dropPermissionOverride())) {
        // Once the standard descriptors are in place, which the limit may not allow.
        const rlimit descriptors = {c.descriptors, c.descriptors};
        if (c.descriptors == 0 || setrlimit(RLIMIT_NOFILE, &descriptors) == 0)
            execCase(c, argv);
    }
    _exit(127);
}

// The state letter of a process in /proc: 'S' while it sleeps, for instance
// in poll waiting for input; 'Z' once it has ended.
char stateOf(pid_t pid)
{
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t name_end = stat.rfind(')');
    return name_end != std::string::npos && name_end + 2 < stat.size() ? stat[name_end + 2] : 'Z';
}

// Returns once the program waits, for input or for room in its output, or
// has ended without waiting.
void awaitWait(pid_t child)
{
    const timespec moment = {0, 1000000};
    for (char state = stateOf(child); state != 'S' && state != 'Z'; state = stateOf(child))
        nanosleep(&moment, nullptr);
}

// Makes the writing end of a pipe non-blocking and fills the pipe; returns
// the number of bytes it took.
size_t fill(int fd)
{
    const std::string block(4096, 'f');
    size_t filled = 0;
    if (fcntl(fd, F_SETFL, O_NONBLOCK) == 0)
        for (ssize_t done; (done = write(fd, block.data(), block.size())) > 0;)
            filled += static_cast<size_t>(done);
    return filled;
}

struct Outcome {
    std::string printed;
    int waitStatus = 0;
    std::string terminal = ""; // what was written to the case's terminal
};

// The output on the case's terminal is small: it is read once the
// program has ended.
Outcome run(const Case &c, const fs::path &dir, const Input &in)
{
    int output[2];
    int screen = -1;
    int terminal = -1;
    if (pipe2(output, O_CLOEXEC) != 0 || (!c.terminal.empty() && !openPseudoTerminal(screen, terminal, O_RDWR)))
        return {"", -1};
    const winsize size = {.ws_row = 24, .ws_col = c.columns, .ws_xpixel = 0, .ws_ypixel = 0};
    if (c.columns > 0 && ioctl(screen, TIOCSWINSZ, &size) != 0)
        return {"", -1};
    const size_t filled = c.fullOutput ? fill(output[1]) : 0;
    const pid_t child = fork();
    if (child == 0)
        execProgram(c, dir, in.read, output[1], terminal);
    close(output[1]);
    close(terminal);
    // `later` comes once the program waits for it; then the input ends.
    if (c.from == Stdin::NonBlocking || c.fullOutput)
        awaitWait(child);
    if (c.from == Stdin::NonBlocking)
        writeAll(in.write, c.later);
    // The writer of a pipe or a socket ends the input; a terminal stays
    // open until the program ends, as closing it would hang it up.
    if (c.from != Stdin::Terminal && in.write >= 0)
        close(in.write);
    close(in.read);
    Outcome result = {readAll(output[0], c.readerLeaves ? c.expected.size() : std::string::npos)};
    result.printed.erase(0, filled);
    close(output[0]);
    waitpid(child, &result.waitStatus, 0);
    // Once the program's side is closed, the rest reads as an error.
    if (screen >= 0)
        result.terminal = readAll(screen);
    close(screen);
    if (c.from == Stdin::Terminal)
        close(in.write);
    return result;
}

// The exit status, ABORTED for SIGABRT, or 128 and the number of another signal.
int statusOf(int waitStatus)
{
    if (WIFSIGNALED(waitStatus))
        return WTERMSIG(waitStatus) == SIGABRT ? ABORTED : 128 + WTERMSIG(waitStatus);
    return WEXITSTATUS(waitStatus);
}

} // namespace

std::string report(int line, int identifiers)
{
    return "Result:\nLine with max symbols: " + std::to_string(line) +
           " \nCount of identificators: " + std::to_string(identifiers);
}

std::string programtest::output(const std::string &command, int status)
{
    std::string text;
    FILE *pipe = popen(command.c_str(), "r");
    char block[4096];
    for (size_t got; pipe != nullptr && (got = std::fread(block, 1, sizeof block, pipe)) > 0;)
        text.append(block, got);
    EXPECT_TRUE(pipe != nullptr && pclose(pipe) == status << 8) << command;
    return text;
}

std::string caseName(const testing::TestParamInfo<Case> &info)
{
    return info.param.name;
}

TEST_P(ProgramTest, PrintsWritesAndExitsAsExpected)
{
    const Case &c = GetParam();
    if (!c.terminal.empty() && access("/dev/ptmx", R_OK | W_OK) != 0)
        GTEST_SKIP() << "no pseudo-terminal here";
    rlimit core = {};
    if (c.coreDumps && (getrlimit(RLIMIT_CORE, &core) != 0 || core.rlim_max == 0))
        GTEST_SKIP() << "core dumps cannot be allowed here";
    char pattern[] = "/tmp/cmeasure-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    std::string input = c.input;
    for (size_t at = input.find('@'); at != std::string::npos; at = input.find('@', at + 1))
        input.replace(at, 1, dir.string());
    if (!c.source.empty())
        writeFile(dir / "main.c", c.source);
    // A file of the user's that a core dump in the directory would replace.
    const std::string usersCore = "mine\n";
    if (c.coreDumps)
        writeFile(dir / "core", usersCore);
    // No user's configuration, git's among it, reaches the setup or the program.
    setenv("HOME", dir.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    if (!c.setup.empty()) {
        const int setup = std::system(("cd " + dir.string() + " && " + c.setup).c_str());
        if (WIFEXITED(setup) && WEXITSTATUS(setup) == 77) {
            removeTree(dir);
            GTEST_SKIP() << "not possible here: " << c.setup;
        }
        ASSERT_EQ(setup, 0);
    }
    Input in;
    if (!prepareInput(c, dir, input, in)) {
        removeTree(dir);
        if (c.from == Stdin::Terminal)
            GTEST_SKIP() << "no pseudo-terminal here";
        FAIL() << "cannot prepare standard input";
    }

    const Outcome result = run(c, dir, in);
    if (!c.teardown.empty()) {
        EXPECT_EQ(std::system(("cd " + dir.string() + " && " + c.teardown).c_str()), 0);
    }
    EXPECT_EQ(statusOf(result.waitStatus), c.status);
    if (!c.output) {
        EXPECT_EQ(result.printed, (c.args.empty() && c.shell.empty() ? MENU : "") + c.expected);
    }
    std::string errors = c.errors;
    for (size_t at = errors.find('@'); at != std::string::npos; at = errors.find('@', at + 1))
        errors.replace(at, 1, dir.string());
    if (c.terminal.empty()) {
        EXPECT_EQ(readFile(dir / "stderr"), errors);
    } else {
        EXPECT_EQ(screenOf(result.terminal, c.columns), c.errors);
        std::string lines = result.terminal;
        for (size_t at = lines.find("\r\n"); at != std::string::npos; at = lines.find("\r\n", at))
            lines.erase(at, 1);
        if (c.shown.empty()) {
            EXPECT_EQ(lines, c.errors) << "something else appeared on the terminal";
        } else {
            EXPECT_NE(result.terminal.find(c.shown), std::string::npos) << result.terminal;
        }
    }
    if (!c.file.empty()) {
        EXPECT_EQ(readFile(dir / c.file), c.content);
    }
    if (!c.source.empty()) {
        EXPECT_EQ(readFile(dir / "main.c"), c.source) << "the source must never change";
    }
    // Where the kernel writes core files itself, it also says whether it
    // wrote one; a handler behind a pipe gets the dump whatever the limit,
    // and decides itself.
    if (c.coreDumps) {
        EXPECT_TRUE(readFile(dir / "core") == usersCore) << "the file named core was replaced";
        if (!readFile("/proc/sys/kernel/core_pattern").starts_with("|")) {
            EXPECT_FALSE(WCOREDUMP(result.waitStatus)) << "a core file was written";
        }
    }
    removeTree(dir);
}

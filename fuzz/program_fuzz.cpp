// The whole program on fuzzed input: standard input is the bytes before the
// first 0x1E, the file main.c the bytes after it. Each run is a forked child
// that starts from the program's initial state, shut in the fuzzer's own
// directory by chroot (the paths it writes to are fuzzed too), and whose
// coverage is copied back for the fuzzer. A run must end normally, or abort
// after "Can't open file"; a file it scanned must be reported with the
// model's figures. A run that does not end is libFuzzer's to report, as a
// timeout (-timeout); the child dies with the fuzzer.
#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sched.h>
#include <string>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "model.h"
#include "scratch.h"

int cmeasure_main(int argc, char **argv);

extern "C" uint8_t __start___sancov_cntrs[], __stop___sancov_cntrs[];

namespace {

namespace fs = std::filesystem;

const std::string SOURCE = "Enter the path to the file with extention *.c \n";
const std::string CANT_OPEN = "Can't open file";

void check(bool holds, const char *what)
{
    if (!holds) {
        std::fprintf(stderr, "program_fuzz: %s\n", what);
        std::abort();
    }
}

fs::path makeDirectory()
{
    char name[] = "/tmp/cmeasure-fuzz-XXXXXX";
    check(mkdtemp(name) != nullptr, "cannot make the program's directory");
    return name;
}

const fs::path dir = makeDirectory();
struct RemovedAtExit {
    ~RemovedAtExit() { std::error_code ignored; fs::remove_all(dir, ignored); }
} removedAtExit;
const pid_t fuzzer = getpid();
const int input = memfd_create("stdin", MFD_CLOEXEC), output = memfd_create("stdout", MFD_CLOEXEC);
const size_t counters = static_cast<size_t>(__stop___sancov_cntrs - __start___sancov_cntrs);
auto *const childCounters = static_cast<uint8_t *>(
    mmap(nullptr, counters, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));

std::string contents(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void save(const fs::path &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    out.close();
    check(!out.fail(), "cannot write the program's source file");
}

void put(int fd, const std::string &bytes)
{
    check(scratch::replace(fd, bytes.data(), bytes.size()), "cannot prepare the run");
}

std::vector<fs::path> listDirectory()
{
    std::error_code failed;
    std::vector<fs::path> paths;
    for (fs::directory_iterator entry(dir, failed), end; !failed && entry != end; entry.increment(failed))
        paths.push_back(entry->path());
    check(!failed, "cannot list the program's directory");
    return paths;
}

// The directory is emptied, not made anew: mkdtemp made it the fuzzer's
// alone, and one made again under its known name in /tmp need not be.
void emptyDirectory()
{
    for (const fs::path &path : listDirectory()) {
        std::error_code failed;
        fs::remove_all(path, failed);
        check(!failed, "cannot empty the program's directory");
    }
}

// The child is killed when the fuzzer ends, whatever ends it: libFuzzer
// reports a hung run as a timeout and exits while the child still runs. A
// fuzzer that ended before the child asked for that shows in getppid().
// Root may chroot; anyone else first becomes root of a new user namespace.
bool setUpChild()
{
    std::signal(SIGABRT, SIG_DFL); // the program's own abort is no finding
    bool jailed = chroot(dir.c_str()) == 0 || (unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0 && chroot(dir.c_str()) == 0);
    return jailed && chdir("/") == 0 && dup2(input, 0) == 0 && dup2(output, 1) == 1 &&
           prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 && getppid() == fuzzer;
}

// Waits out every interruption: libFuzzer's timeout alarm is one.
int waitFor(pid_t child)
{
    int status = 0;
    pid_t waited;
    do
        waited = waitpid(child, &status, 0);
    while (waited < 0 && errno == EINTR);
    check(waited == child, "cannot wait for the program");
    return status;
}

// Returns the child's wait status; exit status 3 stands for the program's 1,
// as a sanitizer report ends the process with 1.
int run()
{
    check(childCounters != MAP_FAILED, "cannot share the program's coverage");
    pid_t child = fork();
    if (child == 0) {
        if (!setUpChild())
            _exit(2);
        char name[] = "cmeasure";
        char *arguments[] = {name, nullptr};
        int status = cmeasure_main(1, arguments);
        std::memcpy(childCounters, __start___sancov_cntrs, counters);
        _exit(status == 0 ? 0 : 3);
    }
    check(child > 0, "cannot start the program");
    const int status = waitFor(child);
    for (size_t i = 0; i < counters; i++)
        __start___sancov_cntrs[i] = std::max(__start___sancov_cntrs[i], childCounters[i]);
    std::memset(childCounters, 0, counters);
    return status;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    const size_t split = std::min(bytes.find('\x1e'), bytes.size());
    const std::string source = bytes.substr(std::min(split + 1, bytes.size()));
    emptyDirectory();
    save(dir / "main.c", source);
    put(input, bytes.substr(0, split));
    put(output, "");

    const int status = run();
    std::string printed;
    check(scratch::read(output, printed), "cannot read what the program printed");
    check(!(WIFEXITED(status) && WEXITSTATUS(status) == 2), "cannot set the program up in its directory");
    check((WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 3)) ||
          (WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT && printed.ends_with(CANT_OPEN)),
          "the program ended abnormally");

    // Inside the directory main.c is the only file a read can open. The
    // report of its scan is printed, or saved in the one other file there.
    const size_t prompt = printed.find(SOURCE);
    if (prompt == std::string::npos || printed.compare(prompt + SOURCE.size(), CANT_OPEN.size(), CANT_OPEN) == 0)
        return 0;
    std::string report = printed.substr(prompt + SOURCE.size());
    const bool toFile = report.starts_with("Enter path to save");
    for (const fs::path &path : listDirectory())
        if (path.filename() != "main.c")
            report = contents(path);
    model::Figures figures = {};
    const bool reported = std::sscanf(report.c_str(), "Result:\nLine with max symbols: %" SCNd64 " \nCount of identificators: %" SCNd64,
                                      &figures.line, &figures.identifiers) == 2;
    check(reported || toFile, "a scan without a report");
    const model::Figures expected = model::scan(source);
    check(!reported || (figures.line == expected.line && figures.identifiers == expected.identifiers),
          "the figures differ from the model's");
    return 0;
}

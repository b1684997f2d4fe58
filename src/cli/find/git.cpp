#include "find/git.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h> // environ, which g++ and clang++ declare there for C++

namespace cli::git {
namespace {

constexpr size_t MOST_MESSAGE_BYTES = 400;
// Git's warnings may come before the line that says why it stopped.
constexpr size_t MOST_ERROR_BYTES = 4096;

// The line that says why git stopped: its first "fatal: " line, else its first line.
std::string firstReason(const std::string &errors)
{
    const size_t fatal = errors.starts_with("fatal: ") ? 0 : errors.find("\nfatal: ");
    const size_t from = fatal == std::string::npos ? 0 : fatal + (fatal == 0 ? 0 : 1);
    const size_t end = std::min(errors.find('\n', from), errors.size());
    return errors.substr(from, std::min(end - from, MOST_MESSAGE_BYTES));
}

// Settings that keep git from starting anything a repository or the
// caller's configuration names, and from waiting on a terminal. A partial
// clone would fetch a missing object from its remote, running the
// remote's upload-pack or ssh command: a newer git is told not to fetch at
// all, and every git is allowed no transport to fetch with.
const std::array<const char *, 7> SAFE_ENVIRONMENT = {
    "GIT_OPTIONAL_LOCKS=0", "GIT_TERMINAL_PROMPT=0", "GIT_PAGER=cat",         "PAGER=cat",
    "LC_ALL=C",             "GIT_NO_LAZY_FETCH=1",   "GIT_ALLOW_PROTOCOL=none"};
const std::array<const char *, 2> DROPPED = {"GIT_EXTERNAL_DIFF", "GIT_DIFF_OPTS"};
// Paths that git takes from the directory it runs in, which `git -C` makes
// another than the caller's: a relative one is made absolute first.
const std::array<std::string_view, 7> PATH_VARIABLES = {"GIT_DIR",          "GIT_WORK_TREE",        "GIT_COMMON_DIR",
                                                        "GIT_INDEX_FILE",   "GIT_OBJECT_DIRECTORY", "GIT_CONFIG_GLOBAL",
                                                        "GIT_CONFIG_SYSTEM"};

bool named(std::string_view entry, std::string_view name)
{
    return entry.size() > name.size() && entry.starts_with(name) && entry[name.size()] == '=';
}

// `entry` as it stands, or, for a relative path of PATH_VARIABLES, the
// path made absolute in `made`; empty when it is to be left out.
const char *passed(char *entry, const Limits &limits, const std::string &directory, std::vector<std::string> &made)
{
    const std::string_view text = entry;
    const auto matches = [&text](std::string_view name) { return named(text, name); };
    const bool replaced = std::any_of(SAFE_ENVIRONMENT.begin(), SAFE_ENVIRONMENT.end(), [&](const char *set) {
        return matches(std::string_view(set).substr(0, std::string_view(set).find('=')));
    });
    if (replaced || std::any_of(DROPPED.begin(), DROPPED.end(), matches) ||
        std::any_of(limits.unset.begin(), limits.unset.end(), matches))
        return nullptr;
    const std::size_t value = text.find('=') + 1;
    if (!std::any_of(PATH_VARIABLES.begin(), PATH_VARIABLES.end(), matches) || value == text.size() ||
        text[value] == '/' || directory.empty())
        return entry;
    made.push_back(std::string(text.substr(0, value)) + directory + '/' + std::string(text.substr(value)));
    return made.back().c_str();
}

// The caller's environment, less what is dropped or set here, plus the
// settings above, and GIT_WORK_TREE when `workTree` is one. `made` holds
// the entries made here.
std::vector<char *> environment(const Limits &limits, const std::string &workTree, std::vector<std::string> &made)
{
    std::vector<char *> entries;
    std::size_t count = 0;
    while (environ[count] != nullptr)
        count++;
    made.reserve(count + 1); // so that no entry made moves
    char here[PATH_MAX];
    const std::string directory = getcwd(here, sizeof here) != nullptr ? here : "";
    for (char **entry = environ; *entry != nullptr; entry++)
        if (const char *kept = passed(*entry, limits, directory, made))
            entries.push_back(const_cast<char *>(kept)); // NOLINT: execve's type, never written through
    if (!workTree.empty())
        entries.push_back(made.emplace_back("GIT_WORK_TREE=" + workTree).data());
    for (const char *set : SAFE_ENVIRONMENT)
        entries.push_back(const_cast<char *>(set)); // NOLINT: execve's type, never written through
    entries.push_back(nullptr);
    return entries;
}

struct Pipe {
    int read = -1;
    int write = -1;
    ~Pipe()
    {
        closeRead();
        closeWrite();
    }
    Pipe() = default;
    Pipe(const Pipe &) = delete;
    Pipe &operator=(const Pipe &) = delete;
    bool open()
    {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0)
            return false;
        read = ends[0];
        write = ends[1];
        return true;
    }
    void closeRead()
    {
        if (read >= 0)
            close(read);
        read = -1;
    }
    void closeWrite()
    {
        if (write >= 0)
            close(write);
        write = -1;
    }
};

// Starts git with its output and errors on the pipes; its pid, or -1 with `error` set.
pid_t start(const std::vector<std::string> &argv, const Limits &limits, const std::string &workTree, const Pipe &out,
            const Pipe &err, int &error)
{
    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str())); // NOLINT: execve's type, never written through
    args.push_back(nullptr);
    std::vector<std::string> made;
    std::vector<char *> env = environment(limits, workTree, made);
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.write, 1);
    posix_spawn_file_actions_adddup2(&actions, err.write, 2);
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    error = posix_spawnp(&pid, "git", &actions, &attributes, args.data(), env.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

// Reads both pipes until git closes them, the sink stops, or time runs out.
void collect(Pipe &out, Pipe &err, const Sink &output, const Limits &limits, Outcome &outcome)
{
    const auto deadline = std::chrono::steady_clock::now() + limits.time;
    std::string errors;
    char block[1 << 14];
    while (out.read >= 0 || err.read >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            outcome.timedOut = true;
            break;
        }
        std::array<pollfd, 2> fds = {{{out.read, POLLIN, 0}, {err.read, POLLIN, 0}}};
        const int ready = poll(fds.data(), fds.size(), static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            outcome.stopped = true; // git is killed rather than waited for unheard
            return;
        }
        for (size_t i = 0; i < fds.size() && ready > 0; i++) {
            Pipe &pipe = i == 0 ? out : err;
            if (pipe.read < 0 || fds[i].revents == 0)
                continue;
            const ssize_t got = read(pipe.read, block, sizeof block);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                pipe.closeRead();
            } else if (i == 1) {
                errors.append(block, std::min(static_cast<size_t>(got), MOST_ERROR_BYTES - errors.size()));
            } else if (!output(std::string_view(block, static_cast<size_t>(got)))) {
                outcome.stopped = true;
                return;
            }
        }
    }
    outcome.message = firstReason(errors);
}

// Runs git in `directory`, given `workTree` as GIT_WORK_TREE unless it is "".
Outcome runIn(const std::string &directory, const std::vector<std::string> &arguments, const Sink &output,
              const Limits &limits, const std::string &workTree)
{
    std::vector<std::string> argv = {"git", "-C", directory, "--no-pager", "-c", "core.fsmonitor=false"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    Outcome outcome;
    Pipe out;
    Pipe err;
    if (!out.open() || !err.open()) {
        outcome.startError = errno;
        return outcome;
    }
    const pid_t pid = start(argv, limits, workTree, out, err, outcome.startError);
    out.closeWrite();
    err.closeWrite();
    if (pid < 0)
        return outcome;
    collect(out, err, output, limits, outcome);
    if (outcome.timedOut || outcome.stopped)
        kill(-pid, SIGKILL);
    int waited = 0;
    while (waitpid(pid, &waited, 0) < 0 && errno == EINTR) {
    }
    if (!outcome.timedOut && !outcome.stopped && WIFEXITED(waited))
        outcome.status = WEXITSTATUS(waited);
    return outcome;
}

bool given(const char *name, const Limits &limits)
{
    return std::getenv(name) != nullptr && std::find(limits.unset.begin(), limits.unset.end(), name) == limits.unset.end();
}

// With GIT_DIR but no GIT_WORK_TREE, git takes the directory it runs in for
// the top of the work tree (unless the repository's core.worktree names
// one): the top git finds from the caller's directory, for git run
// elsewhere to find the same; "" when there is none.
std::string impliedWorkTree(const Limits &limits)
{
    if (!given("GIT_DIR", limits) || given("GIT_WORK_TREE", limits))
        return {};
    std::string top;
    const Outcome outcome = runIn(".", {"rev-parse", "--show-toplevel"}, [&top](std::string_view chunk) {
        top.append(chunk);
        return top.size() <= PATH_MAX;
    }, limits, {});
    if (!outcome.succeeded() || !top.ends_with('\n'))
        return {};
    top.pop_back();
    return top;
}

} // namespace

std::string Outcome::reason() const
{
    if (startError != 0)
        return std::string("cannot run git: ") + std::strerror(startError);
    if (timedOut)
        return "no answer from git in time";
    if (!message.empty())
        return message.starts_with("fatal: ") ? message.substr(7) : message;
    return "git failed with status " + std::to_string(status);
}

Outcome run(const std::string &directory, const std::vector<std::string> &arguments, const Sink &output,
            const Limits &limits)
{
    return runIn(directory, arguments, output, limits, impliedWorkTree(limits));
}

} // namespace cli::git

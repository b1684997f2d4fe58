#include "find/worktree.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "find/git.h"
#include "find/settings.h"

namespace cli::worktree {
namespace {

// Git's answer here is a few paths; anything longer is not one.
constexpr size_t MOST_ANSWER_BYTES = size_t{1} << 16;
// A .git file or commondir file holds one path.
constexpr size_t MOST_POINTER_BYTES = 4096;

bool exists(const std::string &path)
{
    return faccessat(AT_FDCWD, path.c_str(), F_OK, 0) == 0;
}

bool isDirectory(const std::string &path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The one line of a small file such as a .git file; "" when it cannot be read.
std::string pointer(const std::string &path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    std::string text(MOST_POINTER_BYTES, '\0');
    const ssize_t got = read(fd, text.data(), text.size());
    close(fd);
    text.resize(got > 0 && static_cast<size_t>(got) < MOST_POINTER_BYTES ? static_cast<size_t>(got) : 0);
    while (text.ends_with('\n') || text.ends_with('\r'))
        text.pop_back();
    return text;
}

// A repository's own directory: HEAD, and its objects and refs or a
// commondir file that says where they are (a linked worktree's).
bool isRepository(const std::string &path)
{
    return exists(path + "/HEAD") &&
           (exists(path + "/commondir") || (isDirectory(path + "/objects") && isDirectory(path + "/refs")));
}

// The repository that the .git entry of `directory` (canonical, ending in
// '/') is or names; "" when it is neither.
std::string repositoryOf(const std::string &directory)
{
    const std::string entry = directory + ".git";
    if (isDirectory(entry))
        return isRepository(entry) ? entry : "";
    std::string named = pointer(entry);
    if (!named.starts_with("gitdir: ") || named.size() == 8)
        return {};
    named.erase(0, 8);
    if (named[0] != '/')
        named.insert(0, directory);
    return isRepository(named) ? named : "";
}

// The directory that the repository shares with its linked worktrees.
std::string commonDirectory(const std::string &repository)
{
    const std::string common = pointer(repository + "/commondir");
    if (common.empty())
        return repository;
    return common[0] == '/' ? common : repository + '/' + common;
}

// The nearest directory from `directory` up that has a .git entry of any
// kind, or could not be checked; "" when there is none.
std::string nearestEntry(const std::string &directory)
{
    for (std::string at = directory;;) {
        if (exists(at + ".git") || errno != ENOENT)
            return at;
        if (at == "/")
            return {};
        at.erase(at.rfind('/', at.size() - 2) + 1);
    }
}

// The work tree found from .git entries alone, without git.
std::optional<WorkTree> fromEntries(const std::string &directory, bool search)
{
    for (std::string at = directory;;) {
        const std::string repository = repositoryOf(at);
        if (!repository.empty()) {
            WorkTree tree{.top = at, .prefix = directory.substr(at.size())};
            tree.inside = !tree.prefix.starts_with(".git/");
            tree.infoExclude = commonDirectory(repository) + "/info/exclude";
            return tree;
        }
        if (!search || at == "/")
            return std::nullopt;
        at.erase(at.rfind('/', at.size() - 2) + 1);
    }
}

// A path of git's configuration: "~/" is the home directory, "~user/" that user's.
std::string expandedPath(const std::string &value)
{
    if (!value.starts_with('~'))
        return value;
    const size_t slash = std::min(value.find('/'), value.size());
    const std::string user = value.substr(1, slash - 1);
    if (user.empty()) {
        const char *home = std::getenv("HOME");
        return home != nullptr ? home + value.substr(slash) : std::string();
    }
    std::string buffer(16384, '\0');
    passwd entry{};
    passwd *found = nullptr;
    if (getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
        return {};
    return found->pw_dir + value.substr(slash);
}

std::string defaultExcludesFile()
{
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && *xdg != '\0')
        return std::string(xdg) + "/git/ignore";
    const char *home = std::getenv("HOME");
    return home != nullptr ? std::string(home) + "/.config/git/ignore" : std::string();
}

// Whether git answered; otherwise `failure`, empty when it found no repository.
struct Answer {
    bool answered = false;
    std::string failure;
};

// Runs git in `directory`, its output to `output`; with `noneFound`,
// status 1 (a key not set) is an answer too.
Answer ask(const std::string &directory, const std::vector<std::string> &arguments, const git::Sink &output,
           const git::Limits &limits, bool noneFound = false)
{
    Answer answer;
    const git::Outcome outcome = git::run(directory, arguments, output, limits);
    answer.answered = outcome.succeeded() || (noneFound && outcome.status == 1);
    std::string &failure = answer.failure;
    if (answer.answered)
        return answer;
    if (outcome.startError != 0)
        failure = "git: " + outcome.reason() + "; the .gitignore files and info/exclude are read without git's "
                                               "configuration";
    else if (outcome.status != 128 || outcome.message.find("not a git repository") == std::string::npos)
        failure = "git: " + (outcome.stopped ? std::string("an answer too long") : outcome.reason());
    return answer;
}

struct Configuration {
    Answer answer;
    Settings settings;
};

// core.excludesFile, core.ignoreCase and the filter drivers, as the
// configuration in force in `directory` says: the same in any directory of
// a work tree, and at its top, where a diff runs.
Configuration configurationQuestion(const std::string &directory, const git::Limits &limits)
{
    Configuration asked;
    asked.answer = ask(directory, {"config", "--null", "--get-regexp", SETTINGS_PATTERN},
                       [&asked](std::string_view chunk) { return asked.settings.feed(chunk); }, limits, true);
    return asked;
}

// The configuration's settings into `tree`, or why git did not answer into `failure`.
bool readConfiguration(const Configuration &asked, WorkTree &tree, std::string &failure)
{
    failure = asked.answer.failure;
    if (!asked.answer.answered)
        return false;
    const Settings &settings = asked.settings;
    tree.ignoreCase = settings.ignoreCase;
    tree.filterDrivers = settings.filterDrivers;
    tree.excludesFile = settings.excludesFile ? expandedPath(*settings.excludesFile) : defaultExcludesFile();
    if (!tree.excludesFile.empty() && tree.excludesFile[0] != '/')
        tree.excludesFile.insert(0, tree.top); // taken from the top of the work tree
    return true;
}

// Asks git about the work tree that holds `directory` (canonical). Its
// configuration is asked at the same time, by a second git: each takes a
// few milliseconds to start, and the walk waits for both.
Found askGit(const std::string &directory, const git::Limits &limits)
{
    std::future<Configuration> configuration =
        std::async(std::launch::async, configurationQuestion, directory, limits);
    Found found;
    std::string answer;
    const Answer asked = ask(directory,
                             {"rev-parse", "--is-inside-work-tree", "--show-cdup", "--path-format=absolute",
                              "--git-path", "info/exclude"},
                             [&answer](std::string_view chunk) {
                                 answer.append(chunk);
                                 return answer.size() <= MOST_ANSWER_BYTES;
                             },
                             limits);
    found.failure = asked.failure;
    if (!asked.answered)
        return found;
    WorkTree tree;
    if (!answer.starts_with("true\n"))
        return {WorkTree{.top = directory, .inside = false}, ""};
    const size_t cdupEnd = answer.find('\n', 5);
    if (cdupEnd == std::string::npos || !answer.ends_with('\n'))
        return {std::nullopt, "git: an answer not understood"};
    tree.top = directory;
    for (size_t up = 5; answer.compare(up, 3, "../") == 0 && tree.top != "/"; up += 3) {
        tree.prefix.insert(0, tree.top.substr(tree.top.rfind('/', tree.top.size() - 2) + 1));
        tree.top.erase(tree.top.rfind('/', tree.top.size() - 2) + 1);
    }
    tree.infoExclude = answer.substr(cdupEnd + 1, answer.size() - cdupEnd - 2);
    if (!readConfiguration(configuration.get(), tree, found.failure))
        return found;
    found.tree = std::move(tree);
    return found;
}

// When git fails, the work tree as the .git entries show it.
Found withFallback(Found found, const std::string &directory, bool search)
{
    if (!found.failure.empty() && !found.tree)
        found.tree = fromEntries(directory, search);
    return found;
}

} // namespace

std::string canonical(const std::string &directory)
{
    char *real = realpath(directory.c_str(), nullptr);
    if (real == nullptr)
        return {};
    std::string path = real;
    free(real); // NOLINT(cppcoreguidelines-no-malloc): realpath allocates with malloc
    return path.ends_with('/') ? path : path + '/';
}

Found Finder::containing(const std::string &directory)
{
    const std::string path = canonical(directory);
    const bool told = std::getenv("GIT_DIR") != nullptr || std::getenv("GIT_WORK_TREE") != nullptr;
    const std::string entry = path.empty() || told ? std::string() : nearestEntry(path);
    if (!told && entry.empty())
        return {};
    const auto known = told ? byEntry_.end() : byEntry_.find(entry);
    if (known == byEntry_.end()) {
        Found found = withFallback(askGit(path.empty() ? directory : path, {}), path, true);
        if (told)
            return found;
        byEntry_.emplace(entry, found);
        return found;
    }
    Found found = known->second;
    if (!found.tree)
        return found;
    if (found.tree->inside && path.starts_with(found.tree->top))
        found.tree->prefix = path.substr(found.tree->top.size());
    else
        found = withFallback(askGit(path, {}), path, true);
    return found;
}

Found nested(const std::string &directory)
{
    const std::string path = canonical(directory);
    if (path.empty() || repositoryOf(path).empty())
        return {};
    // The nested repository, not the one the caller's environment names.
    const git::Limits limits{.unset = {"GIT_DIR", "GIT_WORK_TREE", "GIT_COMMON_DIR", "GIT_INDEX_FILE"}};
    Found found = withFallback(askGit(path, limits), path, false);
    if (found.tree && (!found.tree->prefix.empty() || !found.tree->inside))
        return {};
    return found;
}

} // namespace cli::worktree

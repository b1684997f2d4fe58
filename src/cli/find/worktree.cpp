#include "find/worktree.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "find/git.h"
#include "find/settings.h"

namespace cli::worktree {
namespace {

// Git's answer here is a few paths; anything longer is not one.
constexpr size_t MOST_ANSWER_BYTES = size_t{1} << 16;
// A .git file or commondir file holds one path.
constexpr size_t MOST_POINTER_BYTES = 4096;
// A configuration file read to see that it is plain; a longer one is left to git.
constexpr off_t MOST_CONFIGURATION_BYTES = 1 << 16;

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

// core.excludesFile as `configured` gives it, or its default; "" for none.
std::string excludesFileOf(const std::optional<std::string> &configured, const std::string &top)
{
    std::string file = configured ? expandedPath(*configured) : defaultExcludesFile();
    if (!file.empty() && file[0] != '/')
        file.insert(0, top); // taken from the top of the work tree
    return file;
}

// Whether the environment may change git's answer: a GIT_ variable may
// name the repository, a configuration, or where git's search stops; but
// those of transport, of commits' authors and of the terminal do not.
bool gitEnvironment()
{
    static constexpr std::array<std::string_view, 8> HARMLESS = {
        "GIT_SSL_", "GIT_HTTP_", "GIT_SSH", "GIT_ASKPASS=", "GIT_AUTHOR_", "GIT_COMMITTER_", "GIT_EDITOR=", "GIT_TERMINAL_PROMPT="};
    for (char **entry = environ; *entry != nullptr; entry++) {
        const std::string_view variable = *entry;
        if (variable.starts_with("GIT_") && std::none_of(HARMLESS.begin(), HARMLESS.end(), [&](std::string_view prefix) {
                return variable.starts_with(prefix);
            }))
            return true;
    }
    return false;
}

// The system's configuration file of the git a run starts, the first on
// PATH: known for a git installed in /usr, /etc/gitconfig; "" for another.
std::string systemConfiguration()
{
    const char *path = std::getenv("PATH");
    for (std::string_view rest = path != nullptr ? path : ""; !rest.empty();) {
        const size_t colon = std::min(rest.find(':'), rest.size());
        const std::string directory = colon == 0 ? "." : std::string(rest.substr(0, colon));
        rest.remove_prefix(std::min(colon + 1, rest.size()));
        const std::string git = directory + "/git";
        if (faccessat(AT_FDCWD, git.c_str(), X_OK, AT_EACCESS) != 0)
            continue;
        char *real = realpath(git.c_str(), nullptr);
        const bool usr = real != nullptr && std::string_view(real) == "/usr/bin/git";
        free(real); // NOLINT(cppcoreguidelines-no-malloc): realpath allocates with malloc
        return usr ? "/etc/gitconfig" : "";
    }
    return {};
}

// Whether the configuration file `path` is absent, or plain (isPlainConfiguration).
bool isPlainFile(const std::string &path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT;
    struct stat status;
    std::string text;
    bool whole = false;
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size <= MOST_CONFIGURATION_BYTES) {
        text.resize(static_cast<size_t>(status.st_size) + 1);
        const ssize_t got = read(fd, text.data(), text.size());
        whole = got == status.st_size;
        text.resize(whole ? static_cast<size_t>(got) : 0);
    }
    close(fd);
    return whole && isPlainConfiguration(text);
}

// The configuration files git reads, besides the repository's own and
// those the environment names; none known when HOME or XDG_CONFIG_HOME is
// not an absolute path, which git would take from the directory it runs in.
std::optional<std::vector<std::string>> userConfigurations()
{
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    const char *home = std::getenv("HOME");
    const auto relative = [](const char *path) { return path != nullptr && path[0] != '/'; };
    if (relative(home) || (relative(xdg) && *xdg != '\0'))
        return std::nullopt;
    std::vector<std::string> files;
    if (xdg != nullptr && *xdg != '\0')
        files.push_back(std::string(xdg) + "/git/config");
    else if (home != nullptr)
        files.push_back(std::string(home) + "/.config/git/config");
    if (home != nullptr)
        files.push_back(std::string(home) + "/.gitconfig");
    return files;
}

// Whether git takes `repository`'s HEAD as a repository's: a file that
// names a branch, or a commit by its SHA-1 name; git's search passes over
// a .git directory whose HEAD is neither.
bool hasHead(const std::string &repository)
{
    struct stat status;
    const std::string head = repository + "/HEAD";
    if (lstat(head.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    const std::string text = pointer(head);
    return text.starts_with("ref: refs/") ||
           (text.size() == 40 && text.find_first_not_of("0123456789abcdef") == std::string::npos);
}

// Whether every directory from the tree's top and prefix up to the top,
// but the top, lies on `device` and is not a repository itself: git's
// search stops at another file system, and takes a bare repository on the
// way.
bool searchReaches(const WorkTree &tree, dev_t device)
{
    for (std::string below = tree.prefix; !below.empty(); below.erase(below.rfind('/', below.size() - 2) + 1)) {
        const std::string at = tree.top + below;
        struct stat status;
        if (stat(at.c_str(), &status) != 0 || status.st_dev != device || isRepository(at))
            return false;
    }
    return true;
}

// The work tree whose nearest .git entry lies at `top`, when what git would
// say of it can be read off the files git itself reads: a .git directory
// of the user's own, with a HEAD and no linked worktrees; every
// configuration file plain; no GIT_ variable that could change the answer.
// Git's answer then holds its defaults: no core.excludesFile but the
// default one, core.ignoreCase false, no filter driver. Asking git would
// take two processes of a few milliseconds each, as long as measuring
// hundreds of small files. None where in doubt, and git is asked.
std::optional<WorkTree> withoutGit(const std::string &directory, const std::string &top)
{
    const std::string repository = top + ".git";
    struct stat own;
    struct stat above;
    if (gitEnvironment() || lstat(repository.c_str(), &own) != 0 || !S_ISDIR(own.st_mode) ||
        stat(top.c_str(), &above) != 0 || own.st_uid != geteuid() || above.st_uid != geteuid() ||
        !isRepository(repository) || exists(repository + "/commondir") || !hasHead(repository))
        return std::nullopt;
    WorkTree tree{.top = top, .prefix = directory.substr(top.size())};
    if (tree.prefix.starts_with(".git/") || !searchReaches(tree, above.st_dev))
        return std::nullopt;
    const std::string system = systemConfiguration();
    std::optional<std::vector<std::string>> files = userConfigurations();
    if (system.empty() || !files)
        return std::nullopt;
    files->push_back(system);
    files->push_back(repository + "/config");
    if (!std::all_of(files->begin(), files->end(), isPlainFile))
        return std::nullopt;
    tree.infoExclude = repository + "/info/exclude";
    tree.excludesFile = excludesFileOf(std::nullopt, top);
    return tree;
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
    tree.excludesFile = excludesFileOf(settings.excludesFile, tree.top);
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

// The work tree of `directory` (canonical), whose nearest .git entry lies
// at `top`: read off its files where they say all, else git's answer.
Found settled(const std::string &directory, const std::string &top, const git::Limits &limits, bool search)
{
    if (std::optional<WorkTree> tree = withoutGit(directory, top))
        return {std::move(tree), ""};
    return withFallback(askGit(directory, limits), directory, search);
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
        Found found = told || path.empty() ? withFallback(askGit(path.empty() ? directory : path, {}), path, true)
                                           : settled(path, entry, {}, true);
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
    Found found = settled(path, path, limits, false);
    if (found.tree && (!found.tree->prefix.empty() || !found.tree->inside))
        return {};
    return found;
}

} // namespace cli::worktree

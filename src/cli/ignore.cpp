#include "ignore.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <git2.h>
#include <sys/stat.h>
#include <unistd.h>

#include "wildmatch.h"

// One line of a rules file, as git reads it.
struct Pattern {
    std::string glob;
    bool negative = false;      // '!': re-includes what it matches
    bool directoryOnly = false; // a trailing '/': matches directories only
    bool nameOnly = false;      // no other '/': matches the last name of a path at any depth
};

class PatternList {
public:
    std::vector<Pattern> patterns;
};

// Where one list of patterns applies: paths are matched from `base` on,
// that is relative to the directory that holds the list.
struct Rules {
    std::shared_ptr<const PatternList> list;
    size_t base;
};

// The rules that hold in one directory of a walk, in the order they are
// consulted: the first list with a pattern that matches decides.
class Level {
public:
    std::string directory; // below the root; "" for the root
    std::vector<Rules> rules;
    bool inWorkTree = false; // its .gitignore files count
    bool closed = false;     // the root of a work tree: the levels above it do not count
};

namespace {

// Git reads no larger rules file; nor does this, so that a huge one cannot
// take the memory.
constexpr size_t MOST_RULES_BYTES = size_t{100} << 20;

// Trailing spaces end a pattern unless a backslash quotes them.
void trimTrailingSpaces(std::string &line)
{
    size_t spaces = std::string::npos;
    for (size_t i = 0; i < line.size(); i++) {
        if (line[i] == ' ') {
            if (spaces == std::string::npos)
                spaces = i;
            continue;
        }
        if (line[i] == '\\' && ++i == line.size())
            return;
        spaces = std::string::npos;
    }
    if (spaces != std::string::npos)
        line.resize(spaces);
}

void addLine(std::string line, PatternList &list)
{
    line.resize(std::min(line.size(), line.find('\0')));
    if (line.empty() || line[0] == '#')
        return;
    trimTrailingSpaces(line);
    Pattern pattern;
    std::string_view text = line;
    if (text.starts_with('!')) {
        pattern.negative = true;
        text.remove_prefix(1);
    }
    if (text.ends_with('/')) {
        pattern.directoryOnly = true;
        text.remove_suffix(1);
    }
    pattern.nameOnly = text.find('/') == std::string_view::npos;
    // A '/' in front or within anchors the pattern at the list's directory.
    if (!pattern.nameOnly && text.starts_with('/'))
        text.remove_prefix(1);
    if (text.empty())
        return; // matches no name
    pattern.glob = text;
    list.patterns.push_back(std::move(pattern));
}

// Lines end in LF, or CRLF; a byte-order mark at the start is no pattern.
void addLines(std::string_view text, PatternList &list)
{
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        addLine(std::string(line), list);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
}

// 1 when the last pattern of `list` that matches excludes the path, 0 when
// it re-includes it, -1 when none matches. `path` is relative to the list's
// directory, `name` its last part.
int verdict(const PatternList &list, std::string_view path, std::string_view name, bool directory)
{
    for (auto pattern = list.patterns.rbegin(); pattern != list.patterns.rend(); ++pattern) {
        if (pattern->directoryOnly && !directory)
            continue;
        if (pattern->nameOnly ? wildmatch(pattern->glob, name, false) : wildmatch(pattern->glob, path, true))
            return pattern->negative ? 0 : 1;
    }
    return -1;
}

// Reads the rules file `path` (relative to the directory `at`) into `list`.
// Returns 0, or the errno of a failure worth a report: a missing file is
// none, and neither is one that is not a regular file.
int readRulesFile(int at, const std::string &path, bool noFollow, PatternList &list)
{
    const int fd = openat(at, path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (noFollow ? O_NOFOLLOW : 0));
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
    struct stat status;
    int error = fstat(fd, &status) != 0 ? errno : 0;
    std::string text;
    if (error == 0 && S_ISREG(status.st_mode)) {
        char block[1 << 14];
        for (;;) {
            const ssize_t got = read(fd, block, sizeof block);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                error = got < 0 ? errno : 0;
                break;
            }
            text.append(block, static_cast<size_t>(got));
            if (text.size() > MOST_RULES_BYTES) {
                error = EFBIG;
                break;
            }
        }
    }
    close(fd);
    if (error == 0)
        addLines(text, list);
    return error;
}

bool isWithin(std::string_view directory, std::string_view ancestor)
{
    return ancestor.empty() || directory == ancestor ||
           (directory.starts_with(ancestor) && directory[ancestor.size()] == '/');
}

std::string joined(const std::string &directory, const std::string &name)
{
    return directory.empty() || directory.back() == '/' ? directory + name : directory + '/' + name;
}

// The directory in its canonical form, ending in '/'; "" when it has none.
std::string resolved(const std::string &directory)
{
    char *real = realpath(directory.c_str(), nullptr);
    if (real == nullptr)
        return {};
    std::string path = real;
    free(real); // NOLINT(cppcoreguidelines-no-malloc): realpath allocates with malloc
    return path.ends_with('/') ? path : path + '/';
}

// Whether `directory` or one above it may hold a repository: whether any
// of them has an entry named .git, or cannot be checked. Outside every work
// tree, as /usr/include is, libgit2 is then not started at all.
bool mayBeInWorkTree(const std::string &directory)
{
    std::string at = resolved(directory);
    if (at.empty())
        return true;
    for (;;) {
        if (faccessat(AT_FDCWD, (at + ".git").c_str(), F_OK, 0) == 0 || errno != ENOENT)
            return true;
        if (at == "/")
            return false;
        at.erase(at.rfind('/', at.size() - 2) + 1);
    }
}

// Where git looks for its own configuration files when $XDG_CONFIG_HOME
// does not say: ~/.config.
std::string xdgConfigHome()
{
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && *xdg != '\0')
        return xdg;
    const char *home = std::getenv("HOME");
    return home != nullptr ? std::string(home) + "/.config" : std::string();
}

std::string lastGitError()
{
    const git_error *error = git_error_last();
    return std::string("git: ") + (error != nullptr && error->message != nullptr ? error->message : "unknown error");
}

using Repository = std::unique_ptr<git_repository, decltype(&git_repository_free)>;

} // namespace

// A work tree as the rules need it: its root, and its two files of rules
// besides the .gitignore files.
struct IgnoreContext::WorkTree {
    std::string root; // canonical, ending in '/'
    std::string infoExclude;
    std::string excludesFile; // "" when there is none
};

IgnoreContext::IgnoreContext(IgnoreSettings settings) : settings_(std::move(settings))
{
    if (settings_.excludes.empty())
        return;
    auto excludes = std::make_shared<PatternList>();
    for (const std::string &line : settings_.excludes)
        addLines(line, *excludes);
    excludes_ = std::move(excludes);
}

IgnoreContext::~IgnoreContext()
{
    if (libraryStarted_)
        git_libgit2_shutdown();
}

void IgnoreContext::reportOnce(RulesFailure &&failure, const ReportFailure &report)
{
    // A library's account names what failed itself; it is said once
    // whichever directory met it.
    if (reported_.insert(failure.reason.empty() ? failure.path + '\0' + std::to_string(failure.error) : failure.reason)
            .second)
        report(std::move(failure));
}

// Finds the work tree that holds `directory` (with `search`: the directory
// or one above it; without: the directory itself), reporting configuration
// that cannot be read. A repository whose configuration is broken still has
// its work tree and info/exclude, found without the configuration.
bool IgnoreContext::findWorkTree(const std::string &directory, bool search, const ReportFailure &report, WorkTree &tree)
{
    if (search && !mayBeInWorkTree(directory))
        return false;
    if (!libraryStarted_) {
        libraryStarted_ = git_libgit2_init() > 0;
        // Reading another user's ignore rules is harmless: git's check of
        // ownership guards against running their configured commands.
        git_libgit2_opts(GIT_OPT_SET_OWNER_VALIDATION, 0);
    }
    git_repository *opened = nullptr;
    const int status =
        git_repository_open_ext(&opened, directory.c_str(), search ? 0 : GIT_REPOSITORY_OPEN_NO_SEARCH, nullptr);
    const Repository repository(opened, git_repository_free);
    if (status == GIT_ENOTFOUND)
        return false;
    std::string gitDirectory;
    if (status < 0) {
        reportOnce({directory, 0, lastGitError()}, report);
        git_buf found = {nullptr, 0, 0};
        if (git_repository_discover(&found, directory.c_str(), 0, nullptr) == 0)
            gitDirectory = found.ptr;
        git_buf_dispose(&found);
        if (!gitDirectory.ends_with("/.git/"))
            return false;
        tree.root = resolved(gitDirectory.substr(0, gitDirectory.size() - 5));
        tree.infoExclude = gitDirectory + "info/exclude";
    } else {
        const char *workdir = git_repository_workdir(repository.get());
        if (workdir == nullptr)
            return false; // a bare repository has no work tree
        tree.root = resolved(workdir);
        gitDirectory = git_repository_commondir(repository.get());
        tree.infoExclude = gitDirectory + "info/exclude";
        readConfiguration(repository.get(), gitDirectory, report, tree);
    }
    return !tree.root.empty() && (search || resolved(directory) == tree.root);
}

// The excludes file that git's configuration names, or its default. libgit2
// passes over configuration files it cannot read: those are reported here.
void IgnoreContext::readConfiguration(git_repository *repository, const std::string &gitDirectory,
                                      const ReportFailure &report, WorkTree &tree)
{
    const std::string xdg = xdgConfigHome();
    const char *home = std::getenv("HOME");
    for (const std::string &path : {gitDirectory + "config", home != nullptr ? std::string(home) + "/.gitconfig" : "",
                                    xdg.empty() ? "" : xdg + "/git/config", std::string("/etc/gitconfig")}) {
        const int fd = path.empty() ? -1 : open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0)
            close(fd);
        else if (!path.empty() && errno != ENOENT && errno != ENOTDIR)
            reportOnce({path, errno}, report);
    }
    git_config *opened = nullptr;
    if (git_repository_config_snapshot(&opened, repository) != 0) {
        reportOnce({tree.root, 0, lastGitError()}, report);
        return;
    }
    const std::unique_ptr<git_config, decltype(&git_config_free)> config(opened, git_config_free);
    git_buf path = {nullptr, 0, 0};
    const int status = git_config_get_path(&path, config.get(), "core.excludesfile");
    if (status == 0)
        tree.excludesFile = path.ptr; // a relative one is taken from the top of the work tree, as git does
    else if (status == GIT_ENOTFOUND && !xdg.empty())
        tree.excludesFile = xdg + "/git/ignore";
    else if (status != GIT_ENOTFOUND)
        reportOnce({tree.root, 0, lastGitError()}, report);
    git_buf_dispose(&path);
    if (!tree.excludesFile.empty() && tree.excludesFile[0] != '/')
        tree.excludesFile = tree.root + tree.excludesFile;
}

std::unique_ptr<TreeIgnores> IgnoreContext::forTree(const std::string &root, ReportFailure report)
{
    if (!settings_.gitRules && !excludes_)
        return nullptr;
    std::unique_ptr<TreeIgnores> tree(new TreeIgnores(*this, root, std::move(report)));
    Level top;
    WorkTree work;
    if (settings_.gitRules && findWorkTree(root, true, tree->report_, work)) {
        const std::string path = resolved(root);
        // Within git's own directory no ignore rules apply.
        top.inWorkTree = path.starts_with(work.root) && !path.substr(work.root.size()).starts_with(".git/");
        if (top.inWorkTree)
            tree->prefix_ = path.substr(work.root.size());
    }
    const std::string &prefix = tree->prefix_;
    if (excludes_)
        top.rules.push_back({excludes_, prefix.size()});
    if (top.inWorkTree) {
        const std::string own = joined(root, ".gitignore");
        tree->readRules({AT_FDCWD, own, own, true}, prefix.size(), top, false);
        // The .gitignore files above the root count too, the nearest first.
        if (!prefix.empty()) {
            for (size_t i = prefix.size() - 1; i-- > 0;)
                if (prefix[i] == '/')
                    tree->readShared(work.root + prefix.substr(0, i + 1) + ".gitignore", true, i + 1, top);
            tree->readShared(work.root + ".gitignore", true, 0, top);
        }
        tree->readShared(work.infoExclude, false, 0, top);
        if (!work.excludesFile.empty())
            tree->readShared(work.excludesFile, false, 0, top);
    }
    tree->levels_.push_back(std::move(top));
    return tree;
}

TreeIgnores::TreeIgnores(IgnoreContext &context, std::string root, ReportFailure report)
    : context_(context), root_(std::move(root)), report_(std::move(report)), excludes_(context.excludes_)
{
}

TreeIgnores::~TreeIgnores() = default;

// Adds the rules of `file` to `level`; a file that cannot be read is
// reported (once, with `once`, for files that several walks read).
void TreeIgnores::readRules(const RulesFile &file, size_t base, Level &level, bool once)
{
    auto list = std::make_shared<PatternList>();
    const int error = readRulesFile(file.at, file.path, file.noFollow, *list);
    if (error != 0) {
        RulesFailure failure{file.shown, error};
        if (once)
            context_.reportOnce(std::move(failure), report_);
        else
            report_(std::move(failure));
    }
    if (!list->patterns.empty())
        level.rules.push_back({std::move(list), base});
}

// A directory below the root that holds a repository of its own starts a
// work tree: from there on its rules hold, and those above it do not, but
// for the patterns of --exclude.
// A rules file outside the tree, or above its root, that every walk of
// the work tree reads: reported once.
void TreeIgnores::readShared(const std::string &path, bool noFollow, size_t base, Level &level)
{
    readRules({AT_FDCWD, path, path, noFollow}, base, level, true);
}

// `inside` leads from `at` into `directory`: "" when `at` is the directory.
bool TreeIgnores::enterWorkTree(const std::string &directory, int at, const std::string &inside, Level &level)
{
    IgnoreContext::WorkTree work;
    const std::string path = joined(root_, directory);
    if (faccessat(at, (inside + ".git").c_str(), F_OK, 0) != 0 || !context_.findWorkTree(path, false, report_, work))
        return false;
    const size_t base = prefix_.size() + directory.size() + 1;
    level.inWorkTree = true;
    level.closed = true;
    readRules({at, inside + ".gitignore", path + "/.gitignore", true}, base, level, false);
    if (excludes_)
        level.rules.push_back({excludes_, prefix_.size()});
    readShared(work.infoExclude, false, base, level);
    if (!work.excludesFile.empty())
        readShared(work.excludesFile, false, base, level);
    return true;
}

// Makes the levels those of `directory`, reading the rules of each
// directory on the way down from the last one entered; `directoryFd`, if
// open, is `directory` itself, and the others are reached by their paths.
void TreeIgnores::enter(const std::string &directory, int directoryFd)
{
    while (levels_.size() > 1 && !isWithin(directory, levels_.back().directory))
        levels_.pop_back();
    while (levels_.back().directory != directory) {
        const std::string &above = levels_.back().directory;
        Level level;
        level.directory = directory.substr(0, directory.find('/', above.empty() ? 0 : above.size() + 1));
        level.inWorkTree = levels_.back().inWorkTree;
        const bool open = directoryFd >= 0 && level.directory == directory;
        const int at = open ? directoryFd : AT_FDCWD;
        const std::string inside = open ? std::string() : joined(root_, level.directory) + '/';
        if (!context_.settings_.gitRules || !enterWorkTree(level.directory, at, inside, level)) {
            if (level.inWorkTree)
                readRules({at, inside + ".gitignore", joined(root_, level.directory) + "/.gitignore", true},
                          prefix_.size() + level.directory.size() + 1, level, false);
        }
        levels_.push_back(std::move(level));
    }
}

bool TreeIgnores::ignored(std::string_view relative, bool directory, int parentFd)
{
    const size_t slash = relative.rfind('/');
    const std::string_view parent = slash == std::string_view::npos ? std::string_view() : relative.substr(0, slash);
    const std::string_view name = relative.substr(slash == std::string_view::npos ? 0 : slash + 1);
    if (levels_.back().directory != parent)
        enter(std::string(parent), parentFd);
    path_.assign(prefix_).append(relative);
    const std::string_view path = path_;
    for (auto level = levels_.rbegin(); level != levels_.rend(); ++level) {
        for (const Rules &rules : level->rules) {
            const int found = verdict(*rules.list, path.substr(rules.base), name, directory);
            if (found >= 0)
                return found == 1;
        }
        if (level->closed)
            break;
    }
    return false;
}

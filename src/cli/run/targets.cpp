#include "run/targets.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "find/ignore.h"
#include "find/namelist.h"
#include "config/settings.h"

namespace cli {

namespace {

// Ends a name too long to read whole, in its message: without it, what was
// read of the name would name another, shorter file, which may exist.
constexpr const char *CUT_MARK = "\u2026"; // …

// A file found, as a target to measure, or to list only when `list`.
Target walked(Found &&found, bool list)
{
    if (found.mark != Found::Mark::None)
        return {.request = {.path = std::move(found.path)},
                .outcome = {.state = found.mark == Found::Mark::Entered ? TargetState::Entered : TargetState::Left}};
    if (isFailure(found))
        return {.request = {.path = std::move(found.path)},
                .outcome = {.state = TargetState::Failed, .reason = failureReason(found)}};
    if (list)
        return {.request = {.path = std::move(found.path)}, .outcome = {.state = TargetState::Listed}};
    return {.request = {.path = std::move(found.path), .origin = Origin::Walked,
                        .directory = std::move(found.directory), .name = std::move(found.name)}};
}

Target failure(std::string path, int error, std::string reason = {})
{
    return {.request = {.path = std::move(path)},
            .outcome = {.state = TargetState::Failed, .error = error, .reason = std::move(reason)}};
}

// Targets on their way to the window, added a few at a time to spare its
// lock. A run of targets holds the files of one directory only: each holds
// it open.
class Pending {
public:
    Pending(Window &window, const Options &options, const WalkAllowance &allowance,
            const changed::ChangedFiles *changes, config::Settings &settings)
        : window_(window), options_(options), allowance_(allowance), changes_(changes), settings_(settings)
    {
    }

    // Adds a file of the path argument `argument` when it changed, with the
    // lines to report; passes it over otherwise. Its path below the
    // argument starts at `below` in its own.
    void addChanged(Target &&target, const std::string &argument, std::size_t below)
    {
        if (changes_ != nullptr && target.outcome.state == TargetState::Waiting) {
            const std::string_view path = target.request.path;
            target.request.reported = changes_->linesOf(argument, path.substr(std::min(below, path.size())));
            if (!target.request.reported) {
                changes_->passOver();
                return;
            }
        }
        add(std::move(target));
    }

    void add(Target &&target)
    {
        if (!targets_.empty() &&
            (targets_.size() == MOST_PENDING || targets_.back().request.directory != target.request.directory))
            flush();
        targets_.push_back(std::move(target));
    }

    void flush()
    {
        if (!targets_.empty())
            window_.add(targets_);
    }

    const Options &options() const { return options_; }
    const WalkAllowance &allowance() const { return allowance_; }
    config::Settings &settings() { return settings_; }

private:
    static constexpr std::size_t MOST_PENDING = 64;
    Window &window_;
    const Options &options_;
    const WalkAllowance &allowance_;
    const changed::ChangedFiles *changes_;
    config::Settings &settings_;
    std::vector<Target> targets_;
};

// A fault in the settings, reported in its place: the message names the
// file, and the line where it lies on one.
Target settingsFault(std::string message)
{
    return {.request = {},
            .outcome = {.state = TargetState::Failed, .reason = std::move(message), .settingsFault = true}};
}

// Adds the files of a directory argument, but for those its ignore rules
// or its configuration pass over, and the failures to read the directory
// or its rules. The settings watch the walk only where a configuration or
// a baseline may count.
void walkDirectory(const std::string &path, IgnoreContext &ignores, Pending &pending)
{
    const Options &options = pending.options();
    const std::size_t below = path.size() + (path.ends_with('/') ? 0 : 1);
    const std::unique_ptr<config::TreeSettings> settings = pending.settings().forTree(
        path, [&pending](std::string &&message) { pending.add(settingsFault(std::move(message))); });
    const bool watched = !options.noConfig || options.baseline || options.writeBaseline;
    const config::FileSettings plain = pending.settings().plain();
    const auto add = [&](Found &&found) {
        Target target = walked(std::move(found), options.list);
        if (target.request.origin == Origin::Walked) {
            const std::string_view relative = std::string_view(target.request.path).substr(below);
            target.request.settings = watched ? settings->forFile(relative) : plain;
        }
        pending.addChanged(std::move(target), path, below);
    };
    const std::unique_ptr<TreeIgnores> rules = ignores.forTree(path, [&pending](RulesFailure &&unread) {
        pending.add(failure(std::move(unread.path), unread.error, std::move(unread.reason)));
    });
    walkTree(path,
             {options.extensions, rules.get(), pending.allowance(), options.maxDepth >= 0, [&pending] { pending.flush(); },
              watched ? settings.get() : nullptr},
             add);
}

// A file named as an argument or in a list, with its settings.
void addNamed(Target &&target, const std::string &path, Pending &pending)
{
    std::string error;
    target.request.settings = pending.settings().forNamed(path, error);
    if (!error.empty())
        pending.add(settingsFault(std::move(error)));
    else
        pending.addChanged(std::move(target), path, path.size());
}

// Adds the targets of one path argument, in output order: standard input, a
// directory's files, or the file. With --list, a path that is not there is
// reported as a measuring run would, but none is opened.
void addTargets(const std::string &path, IgnoreContext &ignores, Pending &pending)
{
    const bool list = pending.options().list;
    struct stat status {};
    const int found = path.empty() || path == "-" ? 0 : stat(path.c_str(), &status) == 0 ? 0 : errno;
    if (path.empty())
        pending.add({.request = {.path = path}, .outcome = {.state = TargetState::Unnamed}});
    else if (list && found != 0)
        pending.add(failure(path, found));
    else if (list && (path == "-" || !S_ISDIR(status.st_mode)))
        pending.add({.request = {.path = path}, .outcome = {.state = TargetState::Listed}});
    else if (path == "-")
        addNamed({.request = {.path = path, .origin = Origin::StandardInput}}, path, pending);
    else if (found == 0 && S_ISDIR(status.st_mode))
        walkDirectory(path, ignores, pending);
    else
        addNamed({.request = {.path = path}}, path, pending);
    pending.flush();
}

void addFailure(Pending &pending, std::string path, int error, std::string reason = {})
{
    pending.add(failure(std::move(path), error, std::move(reason)));
    pending.flush();
}

// Adds the targets of the paths in the list `list` (--files0-from), each
// taken as a path argument as soon as it is read: the list is never held
// whole. A name that cannot be a path (an empty one, "-" in a list that
// standard input holds) has no name of its own to report it under: it is
// reported at its place in the list, "LIST:N", which is where a user then
// looks for it.
void addListed(const std::string &list, bool inputClosed, IgnoreContext &ignores, Pending &pending)
{
    const bool fromInput = list == "-";
    const int fd = fromInput ? (inputClosed ? -1 : STDIN_FILENO) : open(list.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        addFailure(pending, list, fromInput ? EBADF : errno);
        return;
    }
    NameList names(fd);
    std::string name;
    bool tooLong = false;
    const auto place = [&] { return list + ":" + std::to_string(names.count()); };
    while (names.next(name, tooLong)) {
        if (name.empty())
            addFailure(pending, place(), 0, "invalid zero-length file name");
        else if (fromInput && name == "-")
            addFailure(pending, place(), 0, "when reading file names from standard input, no file name of '-' allowed");
        else if (tooLong)
            addFailure(pending, name + CUT_MARK, ENAMETOOLONG);
        else
            addTargets(name, ignores, pending);
    }
    if (names.error() != 0)
        addFailure(pending, list, names.error());
    if (!fromInput)
        close(fd);
}

} // namespace

void addAllTargets(const Options &options, bool inputClosed, const WalkAllowance &allowance,
                   const changed::ChangedFiles *changes, config::Settings &settings, Window &window)
{
    Pending pending(window, options, allowance, changes, settings);
    IgnoreContext ignores({!options.noIgnore, options.excludes},
                          changes != nullptr ? &changes->workTrees() : nullptr);
    if (options.files0From)
        addListed(*options.files0From, inputClosed, ignores, pending);
    for (const std::string &path : options.paths)
        addTargets(path, ignores, pending);
    window.complete();
}

} // namespace cli

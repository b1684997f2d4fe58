#include "config/settings.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "option_values.h"

namespace cli::config {

namespace {

// The canonical path of `path`, ending in '/'; "" when it has none.
std::string canonicalDirectory(const std::string &path)
{
    char *real = realpath(path.empty() ? "." : path.c_str(), nullptr);
    if (real == nullptr)
        return {};
    std::string canonical(real);
    free(real);
    if (!canonical.ends_with('/'))
        canonical += '/';
    return canonical;
}

bool exists(const std::string &path)
{
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 || errno != ENOENT;
}

std::string joinedPath(std::string_view directory, std::string_view name)
{
    if (directory.empty() || directory == ".")
        return std::string(name);
    return joined({directory, directory.ends_with('/') ? "" : "/", name});
}

// Whether the last override that matches a path decides. A pattern of a
// directory matches every file below it, as in a .gitignore.
bool matches(const cli::ignore::PatternList &paths, std::string_view relative)
{
    for (std::size_t slash = relative.find('/'); slash != std::string_view::npos;
         slash = relative.find('/', slash + 1)) {
        const std::string_view directory = relative.substr(0, slash);
        const std::string_view name = directory.substr(directory.rfind('/') + 1);
        if (paths.verdict(directory, name, true, false) == cli::ignore::Verdict::Excluded)
            return true;
    }
    const std::string_view name = relative.substr(relative.rfind('/') + 1);
    return paths.verdict(relative, name, false, false) == cli::ignore::Verdict::Excluded;
}

} // namespace

Settings::Settings(const Options &options) : options_(options), workingDirectory_(canonicalDirectory("."))
{
    if (const std::optional<std::string> &record = options.writeBaseline)
        recordDirectory_ = canonicalDirectory(joinedPath(record->substr(0, record->rfind('/') + 1), "."));
}

Settings::~Settings() = default;

bool Settings::prepare(const std::vector<std::string> &paths, std::string &error)
{
    if (options_.config) {
        const std::string directory = canonicalDirectory(joinedPath(options_.config->substr(0, options_.config->rfind('/') + 1), "."));
        Loaded loaded = readConfig({AT_FDCWD, *options_.config, *options_.config, directory});
        if (!loaded.config) {
            error = std::move(loaded.error);
            return false;
        }
        named_ = std::move(loaded.config);
    }
    for (const std::string &path : paths) {
        struct stat status {};
        const bool directory = path != "-" && stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
        const std::string at = directory ? path : path == "-" ? "." : joinedPath(path.substr(0, path.rfind('/') + 1), ".");
        Governing found = governing(at);
        if (found.error.empty())
            found.error = fault(found.config.get());
        if (found.error.empty())
            baselineOf(found.config.get(), found.error);
        if (!found.error.empty()) {
            error = found.error;
            return false;
        }
        if (&path == &paths.front() && found.config && found.config->maxSymbols)
            firstLimit_ = *found.config->maxSymbols;
        if (directory)
            prepared_.emplace(path, std::move(found));
    }
    return true;
}

// What makes a configuration unfit for this run: --check needs a limit,
// which the command line or the file gives; --symbols=code, C's rules.
std::string Settings::fault(const Config *config) const
{
    if (options_.symbols == Symbols::Code && !options_.rulesGiven && config != nullptr && config->rules == Rules::Menu)
        return joined({config->shown, ": --symbols=code needs C's rules: the file sets rules = \"menu\""});
    if (!options_.check || options_.maxSymbols >= 0 || (config != nullptr && config->maxSymbols))
        return {};
    if (config == nullptr)
        return "--check needs a limit: no .cmeasure.toml gives one, and --max-symbols is not given";
    return joined({config->shown, ": --check needs a limit: the file has no 'max-symbols'"});
}

Governing Settings::governing(const std::string &directory)
{
    Governing found;
    found.canonical = canonicalDirectory(directory);
    if (named_) {
        found.config = named_;
        const std::string &top = named_->directory;
        found.outside = top.empty() || found.canonical.empty() || !found.canonical.starts_with(top);
        found.below = found.outside ? std::string() : found.canonical.substr(top.size());
        return found;
    }
    if (options_.noConfig || found.canonical.empty())
        return found;
    return lookUp(found.canonical);
}

// From the directory `canonical` up: the first that holds a configuration,
// but none past the top of a work tree.
Governing Settings::lookUp(const std::string &canonical)
{
    Governing found;
    found.canonical = canonical;
    for (std::string at = canonical;;) {
        std::string file = at;
        file.append(FILE_NAME);
        if (exists(file)) {
            const std::string shown = file.starts_with(workingDirectory_) ? file.substr(workingDirectory_.size()) : file;
            Loaded loaded = readConfig({AT_FDCWD, file, shown, at});
            found.config = std::move(loaded.config);
            found.error = std::move(loaded.error);
            found.below = canonical.substr(at.size());
            return found;
        }
        if (at == "/" || exists(at + ".git"))
            return found;
        at.resize(at.rfind('/', at.size() - 2) + 1);
    }
}

const std::vector<std::string> &Settings::extensionsOf(const Config *config) const
{
    return options_.extensionsGiven || config == nullptr || !config->extensions ? options_.extensions
                                                                                : *config->extensions;
}

// The baseline of the files a configuration governs: --baseline's, or the
// one it names, read once for the run.
const Baseline *Settings::baselineOf(const Config *config, std::string &error)
{
    if (!options_.gate() || options_.writeBaseline)
        return nullptr;
    std::string path;
    if (options_.baseline)
        path = *options_.baseline;
    else if (config != nullptr && config->baseline)
        path = config->baseline->starts_with('/') ? *config->baseline : config->directory + *config->baseline;
    if (path.empty())
        return nullptr;
    // Named from the current directory where it lies below it, as messages
    // name it.
    if (path.starts_with(workingDirectory_) && path.size() > workingDirectory_.size())
        path.erase(0, workingDirectory_.size());
    auto known = baselines_.find(path);
    if (known == baselines_.end()) {
        std::unique_ptr<Baseline> read = Baseline::read(path, error);
        if (!read)
            return nullptr;
        known = baselines_.emplace(path, std::move(read)).first;
    }
    return known->second.get();
}

// The settings of the file `relative` below the directory `at`; without a
// path (standard input), no override matches.
FileSettings Settings::settingsOf(const Governing &at, std::string_view relative, bool hasPath, std::string &error)
{
    const Config *config = at.config.get();
    FileSettings settings;
    settings.rules = options_.rulesGiven || config == nullptr || !config->rules ? options_.rules : *config->rules;
    settings.limit = options_.maxSymbols >= 0 ? options_.maxSymbols
                     : config != nullptr && config->maxSymbols ? *config->maxSymbols
                                                                : LIMIT_OFF;
    if (config != nullptr && config->symbols)
        settings.symbols = *config->symbols;
    const std::string below = at.below + std::string(relative);
    for (const Override &override : config != nullptr && !at.outside && hasPath ? config->overrides
                                                                             : std::vector<Override>()) {
        if (!matches(override.paths, below))
            continue;
        if (override.maxSymbols && options_.maxSymbols < 0)
            settings.limit = *override.maxSymbols;
        if (override.symbols)
            settings.symbols = *override.symbols;
        if (override.dialect)
            settings.dialect = override.dialect;
    }
    if (options_.symbols)
        settings.symbols = *options_.symbols;
    if (settings.rules == Rules::Menu)
        settings.symbols = Symbols::All; // the menu's rules count every symbol, as --rules=menu says
    if (settings.rules == Rules::Menu)
        settings.limit = std::min(settings.limit, Options::MOST_MENU_SYMBOL_LIMIT);
    settings.baseline = baselineOf(config, error);
    const std::string &keysFrom = options_.writeBaseline ? recordDirectory_
                                  : settings.baseline != nullptr ? settings.baseline->directory()
                                                                 : std::string();
    if (!keysFrom.empty() && !at.canonical.empty())
        settings.baselineKey = Baseline::keyOf(at.canonical + std::string(relative), keysFrom);
    return settings;
}

FileSettings Settings::plain()
{
    std::string error;
    return settingsOf({}, {}, false, error);
}

std::int64_t Settings::runLimit() const
{
    return options_.maxSymbols >= 0 ? options_.maxSymbols : std::max<std::int64_t>(firstLimit_, 0);
}

FileSettings Settings::forNamed(const std::string &path, std::string &error)
{
    const bool input = path == "-";
    const std::size_t slash = path.rfind('/');
    const std::string directory = input || slash == std::string::npos ? "." : joinedPath(path.substr(0, slash + 1), ".");
    if (lastNamed_.first != directory || lastNamed_.second.canonical.empty()) {
        lastNamed_ = {directory, governing(directory)};
        if (lastNamed_.second.error.empty())
            lastNamed_.second.error = fault(lastNamed_.second.config.get());
    }
    error = lastNamed_.second.error;
    if (!error.empty())
        return {};
    return settingsOf(lastNamed_.second, input ? std::string_view() : std::string_view(path).substr(slash + 1), !input,
                      error);
}

std::unique_ptr<TreeSettings> Settings::forTree(const std::string &root, Report report)
{
    const auto known = prepared_.find(root);
    Governing top = known != prepared_.end() ? known->second : governing(root);
    return std::make_unique<TreeSettings>(*this, root, std::move(top), std::move(report));
}

TreeSettings::TreeSettings(Settings &settings, std::string root, Governing top, Settings::Report report)
    : settings_(settings), root_(std::move(root)), top_(std::move(top)), report_(std::move(report))
{
}

const std::vector<std::string> *TreeSettings::entered(std::string_view relative, int fd, bool holds)
{
    const bool root = levels_.empty();
    Level level = root ? Level{top_, 0} : levels_.back();
    if (!root && !level.at.canonical.empty())
        level.at.canonical = top_.canonical + std::string(relative) + '/';
    if (holds && !settings_.named_ && !settings_.options_.noConfig) {
        const std::string directory = root ? root_ : joinedPath(root_, relative);
        Loaded loaded = readConfig({fd, std::string(FILE_NAME), joinedPath(directory, FILE_NAME),
                                    level.at.canonical.empty() ? joinedPath(directory, "") : level.at.canonical});
        level.at.config = std::move(loaded.config);
        level.at.error = std::move(loaded.error);
        level.at.below.clear();
        level.start = root ? 0 : relative.size() + 1;
    }
    std::string error = root && !holds ? top_.error : level.at.error;
    if (error.empty())
        error = settings_.fault(level.at.config.get());
    if (error.empty())
        settings_.baselineOf(level.at.config.get(), error);
    levels_.push_back(std::move(level));
    if (!error.empty()) {
        // Its files are not measured: with a fault in the settings, none
        // can be right, and a silent default could pass what fails.
        levels_.back().at.error = error;
        report_(std::move(error));
        return nullptr;
    }
    return &settings_.extensionsOf(levels_.back().at.config.get());
}

std::string TreeSettings::belowConfiguration(const Level &level, std::string_view relative) const
{
    return level.at.below + std::string(relative.substr(std::min(level.start, relative.size())));
}

bool TreeSettings::passedOver(std::string_view relative, bool directory)
{
    const Level &level = levels_.back();
    const Config *config = level.at.config.get();
    if (config == nullptr || level.at.outside || config->exclude.empty())
        return false;
    const std::string below = belowConfiguration(level, relative);
    const std::string_view name = std::string_view(below).substr(below.rfind('/') + 1);
    return config->exclude.verdict(below, name, directory, false) == cli::ignore::Verdict::Excluded;
}

FileSettings TreeSettings::forFile(std::string_view relative)
{
    const Level &level = levels_.back();
    Governing file = level.at;
    file.below = belowConfiguration(level, relative);
    file.canonical = top_.canonical.empty() ? std::string() : top_.canonical + std::string(relative);
    std::string error;
    return settings_.settingsOf(file, {}, true, error);
}

} // namespace cli::config

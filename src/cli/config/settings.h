// Which configuration governs each file of a run, and the settings that
// gives it: for each file, the nearest .cmeasure.toml in its directory or
// above, up to the top of its git work tree (or / outside one), read whole;
// or the one --config names; or none with --no-config. Options given on
// the command line count over the file.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/baseline.h"
#include "config/config_file.h"
#include "config/file_settings.h"
#include "find/walk.h"
#include "options.h"

namespace cli::config {

// The configuration of a directory, and where the directory lies below the
// configuration's own.
struct Governing {
    std::shared_ptr<const Config> config; // null: none
    std::string below;     // the directory's path below the configuration's, ending in '/', or ""
    bool outside = false;  // with --config, a directory outside the file's: no pattern of it matches
    std::string canonical; // the directory's canonical path, ending in '/'; "" when it has none
    std::string error;     // what was wrong with the configuration
};

class TreeSettings;

// The settings of every file of one run. prepare() runs before anything
// is measured; the rest on the walk's thread alone.
class Settings {
public:
    using Report = std::function<void(std::string &&message)>;

    explicit Settings(const Options &options);
    ~Settings();
    Settings(const Settings &) = delete;
    Settings &operator=(const Settings &) = delete;

    // Reads the configurations of the arguments, and the baselines they
    // name, so that a fault in them stops the run before anything is
    // written. False with `error` saying what was wrong.
    bool prepare(const std::vector<std::string> &paths, std::string &error);

    // The settings of a file named as an argument or in a list ("-" for
    // standard input, which the current directory's configuration governs);
    // `error` says what is wrong with its configuration.
    FileSettings forNamed(const std::string &path, std::string &error);

    // The settings of the command line alone, for a file no configuration governs.
    FileSettings plain();

    // The limit of the run as a whole, which a SARIF log names for its
    // rule: --max-symbols, or that of the first argument's configuration.
    std::int64_t runLimit() const;

    // The watch of the walk of the directory argument `root`, which reports
    // a configuration at fault through `report`.
    std::unique_ptr<TreeSettings> forTree(const std::string &root, Report report);

    // Every baseline the run has read, to tell of their entries no longer found.
    const std::map<std::string, std::unique_ptr<Baseline>> &baselines() const { return baselines_; }

private:
    friend class TreeSettings;

    Governing governing(const std::string &directory);
    Governing lookUp(const std::string &canonical);
    std::string fault(const Config *config) const;
    FileSettings settingsOf(const Governing &at, std::string_view relative, bool hasPath, std::string &error);
    const std::vector<std::string> &extensionsOf(const Config *config) const;
    const Baseline *baselineOf(const Config *config, std::string &error);

    const Options &options_;
    std::string workingDirectory_; // canonical, ending in '/'
    std::string recordDirectory_;  // of --write-baseline's file, the same
    std::shared_ptr<const Config> named_; // --config
    std::map<std::string, Governing> prepared_; // by argument
    std::int64_t firstLimit_ = -1;              // of the first argument's configuration
    std::pair<std::string, Governing> lastNamed_; // the directory of the last file named, and its configuration
    std::map<std::string, std::unique_ptr<Baseline>> baselines_; // by the path they were read from
};

// The settings of the files of one walk: told of the directories as the
// walk enters them, it reads the configuration of those whose listing
// names one.
class TreeSettings : public DirectoryWatch {
public:
    TreeSettings(Settings &settings, std::string root, Governing top, Settings::Report report);

    std::string_view noticed() const override { return FILE_NAME; }
    const std::vector<std::string> *entered(std::string_view relative, int fd, bool holds) override;
    void left() override { levels_.pop_back(); }
    bool passedOver(std::string_view relative, bool directory) override;

    // Of a file `relative` below the root, in the directory last entered.
    FileSettings forFile(std::string_view relative);

private:
    struct Level {
        Governing at;
        std::size_t start; // where the path below the configuration's directory starts in the path below the root
    };
    std::string belowConfiguration(const Level &level, std::string_view relative) const;

    Settings &settings_;
    std::string root_;
    Governing top_;
    Settings::Report report_;
    std::vector<Level> levels_;
};

} // namespace cli::config

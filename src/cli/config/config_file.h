// A configuration file, .cmeasure.toml: the settings a repository keeps for
// the files below it, read and checked whole before any is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "c_rules.h"
#include "config/file_settings.h"
#include "find/ignore_rules.h"
#include "options.h"

namespace cli::config {

// The name a directory's configuration has.
inline constexpr std::string_view FILE_NAME = ".cmeasure.toml";

// No larger file is read: a configuration is a few lines, and a huge one is
// a mistake, not settings.
inline constexpr std::size_t MOST_BYTES = std::size_t{1} << 20;

// A limit of the gate, "off" being none at all.
inline constexpr std::int64_t LIMIT_OFF = -1;

// The settings of the files that an override's patterns match.
struct Override {
    cli::ignore::PatternList paths; // relative to the configuration's directory
    std::optional<std::int64_t> maxSymbols;
    std::optional<Symbols> symbols;
    std::optional<crules::Dialect> dialect;
};

struct Config {
    std::string shown;     // the file's path, as messages name it
    std::string directory; // the directory that holds it, for the paths it names; "" is the current one
    std::optional<std::int64_t> maxSymbols;
    std::optional<std::vector<std::string>> extensions;
    cli::ignore::PatternList exclude; // relative to `directory`
    std::optional<Rules> rules;
    std::optional<Symbols> symbols;
    std::optional<std::string> baseline; // as written in the file
    std::vector<Override> overrides;     // in the file's order: the last that matches wins
};

// What reading a configuration gave: the settings, or else a message that
// names the file, and its line where the fault lies on one.
struct Loaded {
    std::shared_ptr<const Config> config;
    std::string error;
};

// Reads and checks the configuration text `text` of the file `shown`.
Loaded parseConfig(std::string_view text, const std::string &shown, const std::string &directory);

// Where a configuration file lies: `name` relative to the directory open at
// `at` (or to the current directory at AT_FDCWD), named `shown` in
// messages, in `directory`, which the paths it holds are relative to.
struct Place {
    int at;
    std::string name;
    std::string shown;
    std::string directory;
};

// Reads the file of `place`: a regular file of at most MOST_BYTES, in UTF-8.
Loaded readConfig(const Place &place);

// Whether a pattern of an override could match a path: not empty, no
// comment, no byte that ends a line, every '[' closed, no backslash at the
// end. Otherwise `why` says what is wrong.
bool validPattern(std::string_view pattern, std::string &why);

} // namespace cli::config

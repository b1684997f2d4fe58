// What the walks and the diff take from a repository's configuration, read
// from git's answer to `git config --null --get-regexp SETTINGS_PATTERN`:
// one entry after another, "KEY\nVALUE\0", or "KEY\0" for a key set
// without a value.
#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace cli::worktree {

// core.excludesFile, core.ignoreCase, and every key of a filter driver.
inline constexpr const char *SETTINGS_PATTERN = "^core\\.(excludesfile|ignorecase)$|^filter\\.";

class Settings {
public:
    // A path, a word or a key; anything longer is not one.
    static constexpr std::size_t MOST_ENTRY_BYTES = std::size_t{1} << 16;

    // Reads the next piece of the answer, of any size: false when an entry
    // runs past MOST_ENTRY_BYTES. Of a filter driver's entries only the key
    // is read, whatever the length of its command: a diff switches every
    // driver off by its name.
    bool feed(std::string_view chunk);

    std::optional<std::string> excludesFile; // the last value set, as it stands ("" for a key without one)
    bool ignoreCase = false;
    std::set<std::string> filterDrivers; // NAME of each filter.NAME.KEY

private:
    void take(std::string_view entry);

    std::string pending_; // the start of an entry not yet ended
};

// A configuration file read whole is plain when git, reading it, would
// take none of the settings above from it, nor a work tree of its own
// (core.worktree, core.bare), nor fail: every line blank, a comment, a
// section header or `key = value` without quotes or escapes, of sections
// only some of git's commands read (remote, a branch's, credential, alias
// and the like), user.name and user.email, and in [core] what git init
// writes. Where in doubt, not plain: git is asked.
bool isPlainConfiguration(std::string_view text);

} // namespace cli::worktree

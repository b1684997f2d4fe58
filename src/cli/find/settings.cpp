#include "find/settings.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace cli::worktree {
namespace {

constexpr std::string_view FILTER = "filter.";

std::string lowered(std::string_view text)
{
    std::string low(text);
    for (char &c : low)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return low;
}

// A boolean of git's configuration: a key without a value is true.
bool truth(std::optional<std::string_view> value)
{
    if (!value)
        return true;
    const std::string word = lowered(*value);
    if (word == "true" || word == "yes" || word == "on")
        return true;
    char *end = nullptr;
    const long long number = std::strtoll(word.c_str(), &end, 10);
    return !word.empty() && *end == '\0' && number != 0;
}

// What is read of an entry: all of it, but of a filter driver's only its
// key and the newline after it, whatever the length of its command.
std::string_view kept(std::string_view entry)
{
    const std::size_t newline = entry.find('\n');
    return entry.starts_with(FILTER) && newline != std::string_view::npos ? entry.substr(0, newline + 1) : entry;
}

} // namespace

void Settings::take(std::string_view entry)
{
    const std::size_t newline = entry.find('\n');
    const std::string_view key = entry.substr(0, newline);
    const std::optional<std::string_view> value =
        newline == std::string_view::npos ? std::nullopt : std::optional(entry.substr(newline + 1));
    const std::size_t dot = key.rfind('.');
    if (key == "core.ignorecase")
        ignoreCase = truth(value);
    else if (key == "core.excludesfile")
        excludesFile = value.value_or("");
    else if (key.starts_with(FILTER) && dot > FILTER.size()) // filter.KEY names no driver
        filterDrivers.emplace(key.substr(FILTER.size(), dot - FILTER.size()));
}

bool Settings::feed(std::string_view chunk)
{
    const std::size_t seen = pending_.size(); // holds no '\0'
    pending_.append(chunk);
    bool fits = true;
    std::size_t at = 0;
    for (std::size_t end; (end = pending_.find('\0', std::max(at, seen))) != std::string::npos; at = end + 1) {
        const std::string_view entry = kept(std::string_view(pending_).substr(at, end - at));
        fits = fits && entry.size() <= MOST_ENTRY_BYTES;
        take(entry);
    }
    pending_.erase(0, at);
    pending_.resize(kept(pending_).size());
    return fits && pending_.size() <= MOST_ENTRY_BYTES;
}

namespace {

std::string_view trimmed(std::string_view text)
{
    const std::size_t start = text.find_first_not_of(" \t\r");
    if (start == std::string_view::npos)
        return {};
    return text.substr(start, text.find_last_not_of(" \t\r") + 1 - start);
}

bool isKeyCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

// The sections a plain file may hold: those only some of git's commands
// read, for their own work (transport, commits, merges, logs, a branch's
// upstream), whatever their values; of [user], which every command reads, the keys
// a user's set-up writes; of [core], which every command reads and checks,
// only the keys git init writes, at the defaults git would take as its own
// (a bare repository, a format git cannot read), their values words. (Not
// [color] nor [branch] without a name: color.pager and branch.autosetupmerge
// are checked by every command.)
bool isPlainSetting(std::string_view section, bool subsection, std::string_view key, std::string_view value)
{
    static constexpr std::array<std::string_view, 27> OWN_WORK = {
        "alias", "commit", "credential", "diff", "difftool", "fetch", "format", "gc", "gpg", "help",
        "http", "init", "lfs", "log", "maintenance", "merge", "mergetool", "protocol", "pull", "rebase",
        "remote", "rerere", "safe", "status", "submodule", "tag", "url"};
    const bool word = value == "true" || value == "false";
    if (section == "core")
        return !subsection && ((key == "repositoryformatversion" && (value == "0" || value == "1")) ||
                               (key == "bare" && value == "false") ||
                               ((key == "filemode" || key == "logallrefupdates" || key == "symlinks") && word));
    if (section == "user")
        return !subsection && (key == "name" || key == "email" || key == "signingkey");
    if (section == "branch")
        return subsection;
    return std::find(OWN_WORK.begin(), OWN_WORK.end(), section) != OWN_WORK.end();
}

// A section header alone on its line: "[name]" or "[name \"sub\"]", the
// subsection without escapes; the name into `section`.
bool readHeader(std::string_view line, std::string &section, bool &subsection)
{
    const std::size_t close = line.find(']');
    if (close == std::string_view::npos || trimmed(line.substr(close + 1)).find_first_not_of("#;") == 0)
        return false;
    const std::string_view inside = line.substr(1, close - 1);
    const std::size_t space = inside.find_first_of(" \t");
    section = lowered(inside.substr(0, space));
    if (section.empty() || !std::all_of(section.begin(), section.end(), isKeyCharacter))
        return false;
    subsection = space != std::string_view::npos;
    if (!subsection)
        return true;
    const std::string_view name = trimmed(inside.substr(space));
    return name.size() >= 2 && name.front() == '"' && name.back() == '"' &&
           name.substr(1, name.size() - 2).find_first_of("\"\\") == std::string_view::npos;
}

} // namespace

bool isPlainConfiguration(std::string_view text)
{
    std::string section;
    bool subsection = false;
    bool inSection = false;
    while (!text.empty()) {
        const std::size_t newline = std::min(text.find('\n'), text.size());
        const std::string_view line = trimmed(text.substr(0, newline));
        text.remove_prefix(std::min(newline + 1, text.size()));
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        if (line[0] == '[') {
            inSection = readHeader(line, section, subsection);
            if (!inSection)
                return false;
            continue;
        }
        const std::size_t equals = line.find('=');
        const std::string key = lowered(trimmed(line.substr(0, equals)));
        std::string_view value = equals == std::string_view::npos ? "" : trimmed(line.substr(equals + 1));
        value = trimmed(value.substr(0, value.find_first_of("#;")));
        if (!inSection || equals == std::string_view::npos || key.empty() || !(key[0] >= 'a' && key[0] <= 'z') ||
            !std::all_of(key.begin(), key.end(), isKeyCharacter) || value.find_first_of("\"\\") != std::string_view::npos ||
            !isPlainSetting(section, subsection, key, lowered(value)))
            return false;
    }
    return true;
}

} // namespace cli::worktree

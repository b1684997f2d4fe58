#include "find/settings.h"

#include <algorithm>
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

} // namespace cli::worktree

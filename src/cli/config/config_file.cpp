#include "config/config_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Errors come back as values: a fault in a configuration is a message, not
// an unwinding.
#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

#include "find/opening.h"
#include "option_values.h"

namespace cli::config {

namespace {

// A fault at a line of the file: "FILE:LINE: what".
struct Fault {
    std::string text;
};

Fault faultAt(const std::string &shown, const toml::source_region &where, std::string_view what)
{
    return {joined({shown, ":", std::to_string(where.begin.line), ": ", what})};
}

// The checks of one file: each read* takes a key's node, sets the settings
// or returns false with fault_ set.
class Reader {
public:
    Reader(const std::string &shown, Config &config) : shown_(shown), config_(config) {}

    bool readTop(const toml::table &table);
    const std::string &fault() const { return fault_; }

private:
    bool fail(const toml::node &node, std::string_view what)
    {
        fault_ = faultAt(shown_, node.source(), what).text;
        return false;
    }
    bool wrongType(const toml::key &key, const toml::node &node, std::string_view wanted)
    {
        return fail(node, joined({"key '", key.str(), "' must be ", wanted}));
    }
    bool readLimit(const toml::key &key, const toml::node &node, std::optional<std::int64_t> &limit);
    bool readStrings(const toml::key &key, const toml::node &node, std::vector<std::string> &strings);
    bool readPatterns(const toml::key &key, const toml::node &node, cli::ignore::PatternList &list);
    bool readChoice(const toml::key &key, const toml::node &node, std::initializer_list<std::string_view> choices,
                    std::size_t &chosen);
    bool readSymbols(const toml::key &key, const toml::node &node, std::optional<Symbols> &symbols);
    bool readOverride(const toml::node &node);
    bool readTopKey(const toml::key &key, const toml::node &node);

    const std::string &shown_;
    Config &config_;
    std::string fault_;
};

// A number of symbols from 0 up, or "off".
bool Reader::readLimit(const toml::key &key, const toml::node &node, std::optional<std::int64_t> &limit)
{
    if (const auto *number = node.as_integer(); number != nullptr && number->get() >= 0) {
        limit = number->get();
        return true;
    }
    if (const auto *text = node.as_string(); text != nullptr && text->get() == "off") {
        limit = LIMIT_OFF;
        return true;
    }
    return wrongType(key, node, "a number of symbols, 0 or more, or \"off\"");
}

bool Reader::readStrings(const toml::key &key, const toml::node &node, std::vector<std::string> &strings)
{
    const toml::array *array = node.as_array();
    if (array == nullptr || array->empty())
        return wrongType(key, node, "a list of strings, not empty");
    for (const toml::node &item : *array) {
        const auto *text = item.as_string();
        if (text == nullptr)
            return wrongType(key, item, "a list of strings, not empty");
        strings.push_back(text->get());
    }
    return true;
}

// Patterns of .gitignore files, one a string; each must be able to match.
bool Reader::readPatterns(const toml::key &key, const toml::node &node, cli::ignore::PatternList &list)
{
    std::vector<std::string> patterns;
    if (!readStrings(key, node, patterns))
        return false;
    const toml::array &array = *node.as_array();
    for (std::size_t k = 0; k < patterns.size(); k++) {
        std::string why;
        if (!validPattern(patterns[k], why))
            return fail(*array.get(k), joined({"invalid pattern ", quoted(patterns[k]), " in '", key.str(), "': ", why}));
        list.addLines(patterns[k]);
    }
    return true;
}

bool Reader::readChoice(const toml::key &key, const toml::node &node, std::initializer_list<std::string_view> choices,
                        std::size_t &chosen)
{
    std::string wanted;
    chosen = 0;
    for (const std::string_view choice : choices) {
        if (const auto *text = node.as_string(); text != nullptr && text->get() == choice)
            return true;
        wanted += joined({wanted.empty() ? "" : chosen + 1 == choices.size() ? " or " : ", ", "\"", choice, "\""});
        chosen++;
    }
    return wrongType(key, node, wanted);
}

bool Reader::readSymbols(const toml::key &key, const toml::node &node, std::optional<Symbols> &symbols)
{
    std::size_t chosen = 0;
    if (!readChoice(key, node, {"all", "code"}, chosen))
        return false;
    symbols = chosen == 0 ? Symbols::All : Symbols::Code;
    return true;
}

bool Reader::readOverride(const toml::node &node)
{
    const toml::table *table = node.as_table();
    if (table == nullptr)
        return fail(node, "key 'override' must be tables, each written [[override]]");
    Override &settings = config_.overrides.emplace_back();
    bool hasPaths = false;
    for (const auto &[key, value] : *table) {
        std::size_t chosen = 0;
        if (key.str() == "paths") {
            hasPaths = true;
            if (!readPatterns(key, value, settings.paths))
                return false;
        } else if (key.str() == "max-symbols") {
            if (!readLimit(key, value, settings.maxSymbols))
                return false;
        } else if (key.str() == "symbols") {
            if (!readSymbols(key, value, settings.symbols))
                return false;
        } else if (key.str() == "dialect") {
            if (!readChoice(key, value, {"c", "c++"}, chosen))
                return false;
            settings.dialect = chosen == 0 ? crules::Dialect::C : crules::Dialect::Cpp;
        } else {
            fault_ = faultAt(shown_, key.source(), joined({"unknown key '", key.str(), "' in [[override]]"})).text;
            return false;
        }
    }
    if (!hasPaths)
        return fail(node, "[[override]] without 'paths'");
    return true;
}

bool Reader::readTopKey(const toml::key &key, const toml::node &node)
{
    const std::string_view name = key.str();
    std::size_t chosen = 0;
    if (name == "max-symbols")
        return readLimit(key, node, config_.maxSymbols);
    if (name == "symbols")
        return readSymbols(key, node, config_.symbols);
    if (name == "exclude")
        return readPatterns(key, node, config_.exclude);
    if (name == "rules") {
        if (!readChoice(key, node, {"c", "menu"}, chosen))
            return false;
        config_.rules = chosen == 0 ? Rules::C : Rules::Menu;
        return true;
    }
    if (name == "baseline") {
        const auto *text = node.as_string();
        if (text == nullptr || text->get().empty())
            return wrongType(key, node, "the path of a file");
        config_.baseline = text->get();
        return true;
    }
    if (name == "ext") {
        std::vector<std::string> items;
        if (!readStrings(key, node, items))
            return false;
        std::vector<std::string> &extensions = config_.extensions.emplace();
        for (const std::string &item : items) {
            std::string why;
            if (!readExtensions(item, extensions, why, "ext") || item.find(',') != std::string::npos)
                return fail(node, joined({"invalid suffix ", quoted(item), " in 'ext'",
                                          why.empty() ? "" : ": suffixes of names, such as \"c\", not patterns"}));
        }
        return true;
    }
    if (name == "override") {
        const toml::array *array = node.as_array();
        if (array == nullptr)
            return fail(node, "key 'override' must be tables, each written [[override]]");
        for (const toml::node &item : *array)
            if (!readOverride(item))
                return false;
        return true;
    }
    fault_ = faultAt(shown_, key.source(), joined({"unknown key '", name, "'"})).text;
    return false;
}

bool Reader::readTop(const toml::table &table)
{
    for (const auto &[key, node] : table)
        if (!readTopKey(key, node))
            return false;
    // The menu's rules cut lines into pieces of 359 symbols: a higher limit
    // could never be passed, and would pass every file unseen.
    if (config_.rules == Rules::Menu && config_.maxSymbols > Options::MOST_MENU_SYMBOL_LIMIT)
        return fail(*table.get("max-symbols"), "key 'max-symbols' must be at most 359 with rules = \"menu\"");
    // Nor do they know where a comment or a string ends, to count code alone.
    if (config_.rules == Rules::Menu && config_.symbols == Symbols::Code)
        return fail(*table.get("symbols"), "key 'symbols' must be \"all\" with rules = \"menu\"");
    for (std::size_t k = 0; config_.rules == Rules::Menu && k < config_.overrides.size(); k++)
        if (config_.overrides[k].symbols == Symbols::Code)
            return fail(*table.get("override")->as_array()->get(k)->as_table()->get("symbols"),
                        "key 'symbols' must be \"all\" with rules = \"menu\"");
    return true;
}

// The line of the first byte that is not part of valid UTF-8, or 0.
std::size_t firstInvalidUtf8Line(std::string_view text)
{
    std::size_t line = 1;
    for (std::size_t k = 0; k < text.size();) {
        const auto lead = static_cast<unsigned char>(text[k]);
        const int length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                                                              : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
        if (length == 0 || k + static_cast<std::size_t>(length) > text.size())
            return line;
        for (int m = 1; m < length; m++)
            if ((static_cast<unsigned char>(text[k + static_cast<std::size_t>(m)]) & 0xC0) != 0x80)
                return line;
        line += lead == '\n' ? 1 : 0;
        k += static_cast<std::size_t>(length);
    }
    return 0;
}

} // namespace

bool validPattern(std::string_view pattern, std::string &why)
{
    std::string_view name = pattern;
    if (name.starts_with('!'))
        name.remove_prefix(1);
    if (name.ends_with('/'))
        name.remove_suffix(1);
    if (name.starts_with('/'))
        name.remove_prefix(1);
    if (pattern.starts_with('#'))
        why = "a pattern that begins with '#' is a comment";
    else if (pattern.find_first_of(std::string_view("\n\r\0", 3)) != std::string_view::npos)
        why = "a pattern holds a line break or a zero byte";
    else if (name.empty())
        why = "the pattern matches no name";
    for (std::size_t k = 0; why.empty() && k < pattern.size(); k++) {
        if (pattern[k] == '\\') {
            if (++k == pattern.size())
                why = "the pattern ends in a backslash";
            continue;
        }
        if (pattern[k] != '[')
            continue;
        // A set: '!' or '^' may negate it, a ']' first is a member, a class
        // is [:name:], and a backslash quotes the next character.
        k += k + 1 < pattern.size() && (pattern[k + 1] == '!' || pattern[k + 1] == '^') ? 2 : 1;
        k += k < pattern.size() && pattern[k] == ']' ? 1 : 0;
        for (; k < pattern.size() && pattern[k] != ']'; k++) {
            if (pattern[k] == '\\')
                k++;
            else if (pattern.substr(k).starts_with("[:"))
                k = std::min(pattern.find(":]", k + 2), pattern.size()) + 1;
        }
        if (k >= pattern.size())
            why = "a '[' is not closed";
    }
    return why.empty();
}

Loaded parseConfig(std::string_view text, const std::string &shown, const std::string &directory)
{
    if (const std::size_t line = firstInvalidUtf8Line(text); line != 0)
        return {nullptr, joined({shown, ":", std::to_string(line), ": not valid UTF-8"})};
    toml::parse_result parsed = toml::parse(text, shown);
    if (!parsed)
        return {nullptr, faultAt(shown, parsed.error().source(), parsed.error().description()).text};
    auto config = std::make_shared<Config>();
    config->shown = shown;
    config->directory = directory;
    Reader reader(shown, *config);
    if (!reader.readTop(parsed.table()))
        return {nullptr, reader.fault()};
    return {std::move(config), {}};
}

Loaded readConfig(const Place &place)
{
    const std::string &shown = place.shown;
    // Not blocking: a FIFO is refused, not waited on.
    const int fd = openat(place.at, place.name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {nullptr, joined({shown, ": ", std::strerror(errno)})};
    struct stat status {};
    std::string text;
    int error = fstat(fd, &status) != 0 ? errno : S_ISDIR(status.st_mode) ? EISDIR : 0;
    if (error == 0 && !S_ISREG(status.st_mode)) {
        close(fd);
        return {nullptr, joined({shown, ": not a regular file"})};
    }
    if (error == 0)
        error = readWhole(fd, text, MOST_BYTES);
    close(fd);
    if (error == EFBIG)
        return {nullptr, joined({shown, ": larger than 1 MiB, which no configuration needs"})};
    if (error != 0)
        return {nullptr, joined({shown, ": ", std::strerror(error)})};
    return parseConfig(text, shown, place.directory);
}

} // namespace cli::config

#include "option_values.h"

#include <array>

#include "report/escaping.h"

namespace cli {

std::string joined(std::initializer_list<std::string_view> pieces)
{
    std::string text;
    for (const std::string_view piece : pieces)
        text += piece;
    return text;
}

std::string quoted(std::string_view value)
{
    return joined({"'", printablePath(value), "'"});
}

namespace {

// A decimal number written in digits only: no sign, no exponent, nothing
// around it; leading zeros are allowed. Its value is held at `ceiling` once
// past it, so that any number of digits reads without overflow.
std::optional<std::uint64_t> readDigits(std::string_view text, std::uint64_t ceiling)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char digit : text) {
        const auto next = static_cast<std::uint64_t>(digit - '0');
        value = value > (ceiling - next) / 10 ? ceiling : value * 10 + next;
    }
    return value;
}

constexpr std::array<std::pair<std::string_view, Form>, 8> FORMS = {{
    {"table", Form::Table},
    {"json", Form::Json},
    {"csv", Form::Csv},
    {"markdown", Form::Markdown},
    {"text", Form::Text},
    {"sarif", Form::Sarif},
    {"github", Form::Github},
    {"gitlab", Form::Gitlab},
}};

} // namespace

// A positive number of any size; above MOST_JOBS it is MOST_JOBS.
bool readJobs(std::string_view text, unsigned &jobs)
{
    const std::optional<std::uint64_t> value = readDigits(text, Options::MOST_JOBS);
    if (!value || *value == 0)
        return false;
    jobs = static_cast<unsigned>(*value);
    return true;
}

// A positive number of any size, held at the largest count.
bool readTop(std::string_view text, std::int64_t &top)
{
    constexpr auto most = static_cast<std::uint64_t>(INT64_MAX);
    const std::optional<std::uint64_t> value = readDigits(text, most);
    if (!value || *value == 0)
        return false;
    top = static_cast<std::int64_t>(*value);
    return true;
}

// A number from 0 to MOST_SYMBOL_LIMIT; the rules, which may come later,
// narrow it once every option is read.
bool readSymbolLimit(std::string_view text, std::int64_t &limit)
{
    constexpr auto most = static_cast<std::uint64_t>(Options::MOST_SYMBOL_LIMIT);
    const std::optional<std::uint64_t> value = readDigits(text, most + 1);
    if (!value || *value > most)
        return false;
    limit = static_cast<std::int64_t>(*value);
    return true;
}

bool readSymbols(std::string_view text, std::optional<Symbols> &symbols)
{
    if (text != "all" && text != "code")
        return false;
    symbols = text == "all" ? Symbols::All : Symbols::Code;
    return true;
}

bool readRules(std::string_view text, Rules &rules)
{
    if (text != "c" && text != "menu")
        return false;
    rules = text == "c" ? Rules::C : Rules::Menu;
    return true;
}

// Characters of patterns and paths: a suffix holding one would never match
// a name, so it is a mistake, such as --ext='*.c', to say rather than a
// walk that silently measures nothing.
constexpr std::string_view NOT_IN_SUFFIX = "*?[/ ";

bool readExtensions(std::string_view list, std::vector<std::string> &extensions, std::string &error,
                    std::string_view option)
{
    for (;;) {
        const size_t comma = list.find(',');
        std::string_view item = list.substr(0, comma);
        if (item.starts_with('.'))
            item.remove_prefix(1);
        if (item.find_first_of(NOT_IN_SUFFIX) != std::string_view::npos) {
            error = joined({"invalid suffix ", quoted(item), " in extension list",
                            "\n", option, " takes suffixes of names, such as c,h, not patterns"});
            return false;
        }
        if (item.empty())
            return false;
        extensions.emplace_back(item);
        if (comma == std::string_view::npos)
            return true;
        list.remove_prefix(comma + 1);
    }
}

// A depth of directories: a number of any size, held at a depth no tree
// reaches.
bool readDepth(std::string_view text, int &depth)
{
    constexpr unsigned DEEPEST = 1U << 30;
    const std::optional<unsigned> value = readDigits(text, DEEPEST);
    if (!value)
        return false;
    depth = static_cast<int>(*value);
    return true;
}

// A revision for git: not empty, and not taken for one of git's options.
bool readRevision(std::string_view text, std::optional<std::string> &revision)
{
    if (text.empty() || text.starts_with('-'))
        return false;
    revision = text;
    return true;
}

bool readForm(std::string_view text, Form &form)
{
    for (const auto &[name, named] : FORMS)
        if (text == name) {
            form = named;
            return true;
        }
    return false;
}

std::string_view nameOf(Form form)
{
    for (const auto &[name, named] : FORMS)
        if (form == named)
            return name;
    return {};
}

std::string formNames()
{
    std::string names;
    for (std::size_t k = 0; k < FORMS.size(); k++)
        names += joined({k == 0 ? "" : k + 1 == FORMS.size() ? " and " : ", ", "'", FORMS[k].first, "'"});
    return names;
}

} // namespace cli

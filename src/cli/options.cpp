#include "options.h"

#include <algorithm>
#include <getopt.h>
#include <initializer_list>
#include <optional>
#include <string_view>

#include "report/output.h"

namespace cli {

namespace {

// What getopt_long returns for each long option: codes beyond any
// character, so that --jobs and -j stay apart in messages.
enum LongOption : int {
    JOBS = 256,
    EXT,
    CXX_EXT,
    EXCLUDE,
    NO_IGNORE,
    FILES0_FROM,
    JSON,
    RULES,
    MAX_SYMBOLS,
    SARIF,
    NEW_FROM_REV,
    MAX_DEPTH,
    SUMMARIZE,
    LIST,
    HISTOGRAM,
    TOP,
    HELP,
    VERSION
};

// In the order a message lists them when an abbreviation is ambiguous.
const option LONG_OPTIONS[] = {
    {"jobs", required_argument, nullptr, JOBS},
    {"ext", required_argument, nullptr, EXT},
    {"cxx-ext", required_argument, nullptr, CXX_EXT},
    {"exclude", required_argument, nullptr, EXCLUDE},
    {"no-ignore", no_argument, nullptr, NO_IGNORE},
    {"files0-from", required_argument, nullptr, FILES0_FROM},
    {"json", no_argument, nullptr, JSON},
    {"rules", required_argument, nullptr, RULES},
    {"max-symbols", required_argument, nullptr, MAX_SYMBOLS},
    {"sarif", no_argument, nullptr, SARIF},
    {"new-from-rev", required_argument, nullptr, NEW_FROM_REV},
    {"max-depth", required_argument, nullptr, MAX_DEPTH},
    {"summarize", no_argument, nullptr, SUMMARIZE},
    {"list", no_argument, nullptr, LIST},
    {"histogram", no_argument, nullptr, HISTOGRAM},
    {"top", required_argument, nullptr, TOP},
    {"help", no_argument, nullptr, HELP},
    {"version", no_argument, nullptr, VERSION},
    {nullptr, 0, nullptr, 0},
};

// '-' first: each path comes back in its place as code 1, so options after
// paths still count, and POSIXLY_CORRECT changes nothing. ':' next: a
// missing value comes back as ':' rather than '?', and getopt prints nothing.
const char SHORT_OPTIONS[] = "-:j:d:s";

// The pieces of a message, one after the other.
std::string joined(std::initializer_list<std::string_view> pieces)
{
    std::string text;
    for (const std::string_view piece : pieces)
        text += piece;
    return text;
}

// A value as a message shows it: quoted, and escaped like a path, so that
// the message stays one line however the value was made.
std::string quoted(std::string_view value)
{
    return joined({"'", printablePath(value), "'"});
}

std::string quotedOption(int code)
{
    if (code < JOBS) {
        const char letter = static_cast<char>(code);
        return joined({"'-", {&letter, 1}, "'"});
    }
    for (const option *known = LONG_OPTIONS; known->name != nullptr; known++)
        if (known->val == code)
            return joined({"'--", known->name, "'"});
    return {};
}

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

// A comma-separated list of suffixes, each with or without its dot, added
// to `extensions`; an empty list, or an empty item, is refused rather than
// taken to match every name. `option` is named in a refusal.
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

bool takeValue(int code, const char *value, Options &options, std::string &error)
{
    code = code == 'd' ? MAX_DEPTH : code;
    if (code == EXT            ? readExtensions(value, options.extensions, error, "--ext")
        : code == CXX_EXT      ? readExtensions(value, options.cxxExtensions, error, "--cxx-ext")
        : code == RULES        ? readRules(value, options.rules)
        : code == MAX_SYMBOLS  ? readSymbolLimit(value, options.maxSymbols)
        : code == NEW_FROM_REV ? readRevision(value, options.newFromRev)
        : code == MAX_DEPTH    ? readDepth(value, options.maxDepth)
        : code == TOP          ? readTop(value, options.top)
                               : readJobs(value, options.jobs))
        return true;
    if (!error.empty())
        return false;
    if (code == RULES) {
        // In the words GNU tools use for a value outside a list.
        error = joined({"invalid argument ", quoted(value), " for '--rules'\nValid arguments are 'c' and 'menu'"});
        return false;
    }
    const char *what = code == EXT || code == CXX_EXT ? "invalid extension list: "
                       : code == MAX_SYMBOLS             ? "invalid symbol limit: "
                       : code == NEW_FROM_REV            ? "invalid revision: "
                       : code == MAX_DEPTH               ? "invalid maximum depth: "
                       : code == TOP                     ? "invalid number of lines: "
                                                         : "invalid number of jobs: ";
    error = joined({what, quoted(value)});
    return false;
}

// The report that replaces the figures, when one does: its option's name.
const char *reportOption(const Options &options)
{
    return options.histogram    ? "--histogram"
           : options.top > 0        ? "--top"
           : options.maxSymbols >= 0 ? "--max-symbols"
                                     : nullptr;
}

// Each limit must be one the rules can pass: the last one given, which the
// gate takes, or with --histogram every one, which its ladder takes.
// `limitTexts` are the limits as given.
bool checkLimits(const Options &options, const std::vector<std::string_view> &limitTexts, std::string &error)
{
    if (options.rules != Rules::Menu)
        return true;
    const std::size_t first = options.histogram || options.limits.empty() ? 0 : options.limits.size() - 1;
    for (std::size_t k = first; k < options.limits.size(); k++)
        if (options.limits[k] > Options::MOST_MENU_SYMBOL_LIMIT) {
            error = joined({"invalid symbol limit: ", quoted(limitTexts[k])});
            return false;
        }
    return true;
}

// Options that only change the report of --max-symbols make no sense
// without it: a usage error names the first of them given. --new-from-rev
// also narrows the lines of --histogram and --top; neither has a SARIF log.
bool checkGateOptions(const Options &options, std::string &error)
{
    const bool survey = options.histogram || options.top > 0;
    if (options.sarif && options.json)
        error = "options '--sarif' and '--json' cannot be used together";
    else if (options.newFromRev && options.files0From)
        error = "options '--new-from-rev' and '--files0-from' cannot be used together";
    else if (options.histogram && options.top > 0)
        error = "options '--histogram' and '--top' cannot be combined";
    else if (options.sarif && survey)
        error = joined({"options '--sarif' and '", reportOption(options), "' cannot be combined"});
    else if (options.sarif && options.maxSymbols < 0)
        error = "option '--sarif' requires --max-symbols";
    else if (options.newFromRev && reportOption(options) == nullptr)
        error = "option '--new-from-rev' requires --max-symbols, --histogram or --top";
    return error.empty();
}

// The views replace the figures of each file, and the reports of
// --max-symbols, --histogram and --top replace the figures: no two of them
// make sense together. --summarize is then taken as the depth it stands for.
bool checkViewOptions(Options &options, std::string &error)
{
    const char *view = options.summarize ? "--summarize" : "--max-depth";
    const char *report = reportOption(options);
    if (options.summarize && options.maxDepth >= 0)
        error = "options '--summarize' and '--max-depth' cannot be combined";
    else if (options.list && report != nullptr)
        error = joined({"options '--list' and '", report, "' cannot be combined"});
    else if ((options.summarize || options.maxDepth >= 0) && (options.list || report != nullptr))
        error = joined({"options '", view, "' and '", options.list ? "--list" : report, "' cannot be combined"});
    if (options.summarize)
        options.maxDepth = 0;
    return error.empty();
}

// A long option that getopt_long did not know: ambiguous when its name is
// the prefix of several, listing them, so that the user sees which longer
// prefix picks the one meant; otherwise unknown.
std::string unknownLongOption(std::string_view argument)
{
    const std::string_view name = argument.substr(2, argument.find('=') - 2);
    std::string possibilities;
    int matches = 0;
    for (const option *known = LONG_OPTIONS; known->name != nullptr; known++)
        if (std::string_view(known->name).starts_with(name)) {
            possibilities += joined({" '--", known->name, "'"});
            matches++;
        }
    if (matches > 1)
        return joined({"option ", quoted(argument), " is ambiguous; possibilities:", possibilities});
    return joined({"unrecognized option ", quoted(argument)});
}

// What getopt_long would have printed about the option it refused with
// `code` (':' for a missing value, '?' for anything else), had it been
// allowed to print. A missing value for -j keeps this program's own words.
std::string refusal(int code, char **argv)
{
    if (code == ':')
        return joined({"option ", quotedOption(optopt), " requires an argument"});
    if (optopt == 0)
        return unknownLongOption(argv[optind - 1]);
    if (optopt >= JOBS)
        return joined({"option ", quotedOption(optopt), " doesn't allow an argument"});
    const char letter = static_cast<char>(optopt);
    return joined({"invalid option -- ", quoted({&letter, 1})});
}

} // namespace

Parsed parseOptions(int argc, char **argv, Options &options, std::string &error)
{
    optind = 0; // 0, not 1: getopt forgets where it was in an earlier parse
    opterr = 0;
    error.clear();
    bool extensionsGiven = false;
    std::vector<std::string_view> limitTexts;
    for (;;) {
        const int code = getopt_long(argc, argv, SHORT_OPTIONS, LONG_OPTIONS, nullptr);
        switch (code) {
        case -1:
            // The end, or "--": every argument after it is a path.
            options.paths.insert(options.paths.end(), argv + optind, argv + argc);
            if (!checkLimits(options, limitTexts, error) || !checkGateOptions(options, error) ||
                !checkViewOptions(options, error))
                return Parsed::USAGE_ERROR;
            if (options.files0From && !options.paths.empty()) {
                // In the words users of --files0-from know from other tools.
                error = joined({"extra operand ", quoted(options.paths.front()),
                                "\nfile operands cannot be combined with --files0-from"});
                return Parsed::USAGE_ERROR;
            }
            return Parsed::RUN;
        case 1:
            options.paths.emplace_back(optarg);
            break;
        case JSON:
            options.json = true;
            break;
        case EXCLUDE:
            options.excludes.emplace_back(optarg);
            break;
        case NO_IGNORE:
            options.noIgnore = true;
            break;
        case FILES0_FROM:
            options.files0From = optarg;
            break;
        case SARIF:
            options.sarif = true;
            break;
        case 's':
        case SUMMARIZE:
            options.summarize = true;
            break;
        case LIST:
            options.list = true;
            break;
        case HISTOGRAM:
            options.histogram = true;
            break;
        case HELP:
            return Parsed::HELP;
        case VERSION:
            return Parsed::VERSION;
        case EXT:
            // The first --ext replaces the default suffixes; later ones add.
            if (!extensionsGiven)
                options.extensions.clear();
            extensionsGiven = true;
            if (!takeValue(code, optarg, options, error))
                return Parsed::USAGE_ERROR;
            break;
        case MAX_SYMBOLS:
            if (!takeValue(code, optarg, options, error))
                return Parsed::USAGE_ERROR;
            options.limits.push_back(options.maxSymbols);
            limitTexts.emplace_back(optarg);
            break;
        case 'd':
        case MAX_DEPTH:
        case 'j':
        case JOBS:
        case CXX_EXT:
        case RULES:
        case NEW_FROM_REV:
        case TOP:
            if (!takeValue(code, optarg, options, error))
                return Parsed::USAGE_ERROR;
            break;
        default:
            error = refusal(code, argv);
            return Parsed::USAGE_ERROR;
        }
    }
}

} // namespace cli

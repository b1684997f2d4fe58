#include "options.h"

#include <algorithm>
#include <getopt.h>
#include <initializer_list>
#include <optional>
#include <string_view>

#include "form_choice.h"
#include "option_checks.h"
#include "option_values.h"

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
    SYMBOLS,
    MAX_SYMBOLS,
    SARIF,
    FORMAT,
    NEW_FROM_REV,
    MAX_DEPTH,
    SUMMARIZE,
    LIST,
    HISTOGRAM,
    TOP,
    CONFIG,
    NO_CONFIG,
    CHECK,
    BASELINE,
    WRITE_BASELINE,
    SORT,
    BY_DIALECT,
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
    {"symbols", required_argument, nullptr, SYMBOLS},
    {"max-symbols", required_argument, nullptr, MAX_SYMBOLS},
    {"sarif", no_argument, nullptr, SARIF},
    {"format", required_argument, nullptr, FORMAT},
    {"new-from-rev", required_argument, nullptr, NEW_FROM_REV},
    {"max-depth", required_argument, nullptr, MAX_DEPTH},
    {"summarize", no_argument, nullptr, SUMMARIZE},
    {"list", no_argument, nullptr, LIST},
    {"histogram", no_argument, nullptr, HISTOGRAM},
    {"top", required_argument, nullptr, TOP},
    {"config", required_argument, nullptr, CONFIG},
    {"no-config", no_argument, nullptr, NO_CONFIG},
    {"check", no_argument, nullptr, CHECK},
    {"baseline", required_argument, nullptr, BASELINE},
    {"write-baseline", required_argument, nullptr, WRITE_BASELINE},
    {"sort", required_argument, nullptr, SORT},
    {"by-dialect", no_argument, nullptr, BY_DIALECT},
    {"help", no_argument, nullptr, HELP},
    {"version", no_argument, nullptr, VERSION},
    {nullptr, 0, nullptr, 0},
};

// '-' first: each path comes back in its place as code 1, so options after
// paths still count, and POSIXLY_CORRECT changes nothing. ':' next: a
// missing value comes back as ':' rather than '?', and getopt prints nothing.
const char SHORT_OPTIONS[] = "-:j:d:s";

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

bool takeValue(int code, const char *value, Options &options, std::string &error)
{
    code = code == 'd' ? MAX_DEPTH : code;
    if (code == EXT            ? readExtensions(value, options.extensions, error, "--ext")
        : code == CXX_EXT      ? readExtensions(value, options.cxxExtensions, error, "--cxx-ext")
        : code == RULES        ? readRules(value, options.rules)
        : code == SYMBOLS      ? readSymbols(value, options.symbols)
        : code == MAX_SYMBOLS  ? readSymbolLimit(value, options.maxSymbols)
        : code == NEW_FROM_REV ? readRevision(value, options.newFromRev)
        : code == MAX_DEPTH    ? readDepth(value, options.maxDepth)
        : code == TOP          ? readTop(value, options.top)
                               : readJobs(value, options.jobs))
        return true;
    if (!error.empty())
        return false;
    if (code == RULES || code == SYMBOLS) {
        // In the words GNU tools use for a value outside a list.
        error = joined({"invalid argument ", quoted(value), code == RULES ? " for '--rules'\nValid arguments are 'c' and 'menu'"
                                                                          : " for '--symbols'\nValid arguments are 'all' and 'code'"});
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
    std::vector<std::string_view> limitTexts;
    FormChoice form;
    for (;;) {
        const int code = getopt_long(argc, argv, SHORT_OPTIONS, LONG_OPTIONS, nullptr);
        switch (code) {
        case -1:
            // The end, or "--": every argument after it is a path.
            options.paths.insert(options.paths.end(), argv + optind, argv + argc);
            if (!checkOptions(options, form, limitTexts, error))
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
            form.ask(Form::Json, "--json");
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
            form.ask(Form::Sarif, "--sarif");
            break;
        case FORMAT:
            if (Form asked{}; readForm(optarg, asked)) {
                form.ask(asked, joined({"--format=", optarg}));
                break;
            }
            // In the words GNU tools use for a value outside a list.
            error = joined({"invalid argument ", quoted(optarg), " for '--format'\nValid arguments are ", formNames()});
            return Parsed::USAGE_ERROR;
        case 's':
        case SUMMARIZE:
            options.summarize = true;
            break;
        case LIST:
            options.list = true;
            break;
        case CONFIG:
            options.config = optarg;
            break;
        case NO_CONFIG:
            options.noConfig = true;
            break;
        case CHECK:
            options.check = true;
            break;
        case BASELINE:
            options.baseline = optarg;
            break;
        case WRITE_BASELINE:
            options.writeBaseline = optarg;
            break;
        case HISTOGRAM:
            options.histogram = true;
            break;
        case BY_DIALECT:
            options.byDialect = true;
            break;
        case SORT:
            if ((options.sort = sortKeyNamed(optarg)))
                break;
            error = joined({"invalid argument ", quoted(optarg), " for '--sort'\nValid arguments are ", sortKeyNames()});
            return Parsed::USAGE_ERROR;
        case HELP:
            return Parsed::HELP;
        case VERSION:
            return Parsed::VERSION;
        case EXT:
            // The first --ext replaces the default suffixes; later ones add.
            if (!options.extensionsGiven)
                options.extensions.clear();
            options.extensionsGiven = true;
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
        case SYMBOLS:
            options.rulesGiven = options.rulesGiven || code == RULES;
            [[fallthrough]];
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

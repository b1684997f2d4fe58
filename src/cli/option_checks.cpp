#include "option_checks.h"

#include <utility>

#include "option_values.h"

namespace cli {

namespace {

// The report that replaces the figures, when one does: its option's name.
const char *reportOption(const Options &options)
{
    return options.histogram    ? "--histogram"
           : options.top > 0        ? "--top"
           : options.maxSymbols >= 0 ? "--max-symbols"
           : options.check           ? "--check"
                                     : nullptr;
}

// Each limit must be one the rules can pass: the last one given, which the
// gate takes, or with --histogram every one, which its ladder takes.
// `limitTexts` are the limits as given. The menu's rules know where a
// comment or a string is, not where it ends: they count every symbol.
bool checkLimits(const Options &options, const std::vector<std::string_view> &limitTexts, std::string &error)
{
    if (options.rules != Rules::Menu)
        return true;
    if (options.symbols == Symbols::Code) {
        error = "options '--symbols=code' and '--rules=menu' cannot be used together";
        return false;
    }
    const std::size_t first = options.histogram || options.limits.empty() ? 0 : options.limits.size() - 1;
    for (std::size_t k = first; k < options.limits.size(); k++)
        if (options.limits[k] > Options::MOST_MENU_SYMBOL_LIMIT) {
            error = joined({"invalid symbol limit: ", quoted(limitTexts[k])});
            return false;
        }
    return true;
}

// Options that only change the report of --max-symbols make no sense
// without it, nor forms of the figures with it: a usage error names the
// first of them given. --new-from-rev also narrows the lines of --histogram
// and --top, which take text or JSON only. JSON is a form of every report.
bool checkGateOptions(Options &options, const FormChoice &choice, std::string &error)
{
    options.form = choice.resolved(options);
    if (!choice.conflict.empty())
        error = choice.conflict;
    else if (options.newFromRev && options.files0From)
        error = "options '--new-from-rev' and '--files0-from' cannot be used together";
    else if (options.histogram && options.top > 0)
        error = "options '--histogram' and '--top' cannot be combined";
    else if (std::string misfit = choice.misfit(options, reportOption(options)); !misfit.empty())
        error = std::move(misfit);
    else if (options.config && options.noConfig)
        error = "options '--config' and '--no-config' cannot be used together";
    else if (options.writeBaseline && options.newFromRev)
        // A baseline of the changed lines alone would report the others as new.
        error = "options '--write-baseline' and '--new-from-rev' cannot be used together";
    else if ((options.baseline || options.writeBaseline) && !options.gate())
        error = joined({"option '", options.baseline ? "--baseline" : "--write-baseline",
                        "' requires --max-symbols or --check"});
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
    else if (options.list && options.form != Form::Table && options.form != Form::Json)
        error = joined({"format ", quoted(nameOf(options.form)), " cannot be used with --list"});
    else if (const char *other = options.list ? "--list" : report;
             other != nullptr && (options.sort || options.byDialect || (options.list && options.newFromRev)))
        error = joined({"options '", options.sort ? "--sort" : options.byDialect ? "--by-dialect" : "--new-from-rev",
                        "' and '", other, "' cannot be combined"});
    else if (options.byDialect && options.rules == Rules::Menu)
        error = "option '--by-dialect' requires --rules=c";
    if (options.summarize)
        options.maxDepth = 0;
    return error.empty();
}

} // namespace

bool checkOptions(Options &options, const FormChoice &choice, const std::vector<std::string_view> &limitTexts,
                  std::string &error)
{
    return checkLimits(options, limitTexts, error) && checkGateOptions(options, choice, error) &&
           checkViewOptions(options, error);
}

} // namespace cli

#include "form_choice.h"

#include <utility>

#include "option_values.h"

namespace cli {

namespace {

// The two options in the order messages have long named them: --sarif,
// then --json, then --format.
std::string rankedPair(std::string_view a, std::string_view b)
{
    const auto rank = [](std::string_view name) { return name == "--sarif" ? 0 : name == "--json" ? 1 : 2; };
    if (rank(b) < rank(a))
        std::swap(a, b);
    return joined({"options '", a, "' and '", b, "' cannot be used together"});
}

bool isGateForm(Form form)
{
    return form == Form::Text || form == Form::Sarif || form == Form::Github || form == Form::Gitlab;
}

bool isSurvey(const Options &options)
{
    return options.histogram || options.top > 0;
}

} // namespace

void FormChoice::ask(Form asked, std::string_view given)
{
    if (form && *form != asked && conflict.empty())
        conflict = rankedPair(option, given);
    form = asked;
    option = given;
}

Form FormChoice::resolved(const Options &options) const
{
    return form.value_or(options.gate() || isSurvey(options) ? Form::Text : Form::Table);
}

// --histogram and --top write their own text, or JSON; the gate any of its
// forms or JSON; the figures any but the gate's. A form given as --json or
// --sarif is named by that option, one given as --format by its name.
std::string FormChoice::misfit(const Options &options, const char *report) const
{
    if (!form)
        return {};
    const std::string named =
        option.starts_with("--format") ? joined({"format ", quoted(nameOf(*form))}) : joined({"option ", quoted(option)});
    if (isSurvey(options))
        return *form == Form::Text || *form == Form::Json
                   ? std::string()
                   : joined({"options '", option, "' and '", report, "' cannot be combined"});
    if (options.gate())
        return isGateForm(*form) || *form == Form::Json ? std::string()
                                                        : joined({named, " cannot be used with ", report});
    if (*form == Form::Text)
        return joined({named, " requires --max-symbols, --check, --histogram or --top"});
    return isGateForm(*form) ? joined({named, " requires --max-symbols or --check"}) : std::string();
}

} // namespace cli

// Which form of the output the options ask for (--format, --json, --sarif),
// and whether it fits the run they ask for.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "options.h"

namespace cli {

// The form the options asked for, by the option that asked last; and the
// first two that asked for different forms, for the message.
struct FormChoice {
    std::optional<Form> form;
    std::string option;
    std::string conflict;

    // `given`, as the user wrote it, asks for `asked`.
    void ask(Form asked, std::string_view given);

    // The form asked for, or the default of the run: the gate's text for
    // the gate, --histogram and --top, the table for the figures.
    Form resolved(const Options &options) const;

    // Why the form asked for does not fit the run `options` ask for, whose
    // report is `report` (--max-symbols, --check, --histogram, --top; null
    // for the figures); empty when it fits.
    std::string misfit(const Options &options, const char *report) const;
};

} // namespace cli

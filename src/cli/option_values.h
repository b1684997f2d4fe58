// The values of options, read and checked, shared by the command line and
// the configuration file, which take the same values under the same names.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "options.h"

namespace cli {

// The pieces of a message, one after the other.
std::string joined(std::initializer_list<std::string_view> pieces);

// A value as a message shows it: quoted, and escaped like a path, so that
// the message stays one line however the value was made.
std::string quoted(std::string_view value);

// Each reader takes the whole text of a value; false when it is not one.
bool readJobs(std::string_view text, unsigned &jobs);
bool readTop(std::string_view text, std::int64_t &top);
bool readSymbolLimit(std::string_view text, std::int64_t &limit);
bool readRules(std::string_view text, Rules &rules);
bool readSymbols(std::string_view text, std::optional<Symbols> &symbols);
bool readDepth(std::string_view text, int &depth);
bool readRevision(std::string_view text, std::optional<std::string> &revision);
bool readForm(std::string_view text, Form &form);

// The name of a form, as --format takes it.
std::string_view nameOf(Form form);

// "'table', 'json', ... and 'gitlab'": what readForm takes.
std::string formNames();

// A comma-separated list of suffixes of `option`, each with or without its
// dot, added to `extensions`; an empty list, or an empty item, is refused
// rather than taken to match every name. `error` says why a suffix that
// holds a character of patterns is refused; it stays empty for other
// refusals.
bool readExtensions(std::string_view list, std::vector<std::string> &extensions, std::string &error,
                    std::string_view option);

} // namespace cli

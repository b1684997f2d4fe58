// The options taken together, once each has been read: those that make no
// sense without another, or with it, are a usage error.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "form_choice.h"
#include "options.h"

namespace cli {

// Checks `options` as parsed, with the form `choice` asked for and the
// limits as given (`limitTexts`), and completes them: the form of the run,
// and the depth --summarize stands for. False with `error` on the first
// usage error.
bool checkOptions(Options &options, const FormChoice &choice, const std::vector<std::string_view> &limitTexts,
                  std::string &error);

} // namespace cli

// What one file is measured with: the command line's settings over those of
// the configuration that governs the file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "c_rules.h"
#include "options.h"

namespace cli::config {

class Baseline;

struct FileSettings {
    std::int64_t limit = -1;                     // the gate's limit; -1: the file is measured, not checked
    std::optional<crules::Dialect> dialect = {}; // none: by the file's suffix
    Symbols symbols = Symbols::All;
    Rules rules = Rules::C;
    const Baseline *baseline = nullptr; // the lines over the limit that are not reported
    std::string baselineKey = {};       // the file's path in it
};

} // namespace cli::config

// The command line: options and paths.
#pragma once

#include <string>
#include <vector>

struct Options {
    bool json = false;
    unsigned jobs = 0; // 0: one per processor this process may run on
    std::vector<std::string> extensions = {"c", "h"};
    std::vector<std::string> paths; // standard input when empty
};

enum class Parsed { RUN, HELP, VERSION, USAGE_ERROR };

// Reads argv[1] onwards into `options`. On a usage error `error` says what
// was wrong, in a line of its own.
Parsed parseOptions(int argc, char **argv, Options &options, std::string &error);

// The text --help prints.
extern const char *const USAGE;

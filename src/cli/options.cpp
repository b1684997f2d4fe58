#include "options.h"

#include <charconv>
#include <string_view>

const char *const USAGE =
    "Usage: cmeasure [OPTION]... [PATH]...\n"
    "Measure C source text: for each file, the number of lines, the line with the\n"
    "most symbols (characters other than spaces) and how many it holds, and the\n"
    "number of identifiers outside comments and string literals.\n"
    "\n"
    "A directory is searched recursively for files whose names end in .c or .h;\n"
    "names beginning with '.', symbolic links, devices, FIFOs and sockets inside\n"
    "it are passed over. With no PATH, or when PATH is -, standard input is read.\n"
    "Without any argument, cmeasure asks for its source through a menu.\n"
    "\n"
    "  -j, --jobs=N     measure N files side by side (default: one per processor)\n"
    "      --ext=LIST   search directories for these comma-separated suffixes,\n"
    "                   without the dot (default: c,h)\n"
    "      --json       write JSON Lines instead of a table\n"
    "      --help       display this help and exit\n"
    "      --version    output version information and exit\n"
    "\n"
    "Exit status is 0 when every path was measured, 1 when a path could not be\n"
    "read or the output could not be written, and 2 for a usage error.\n";

namespace {

bool readJobs(std::string_view text, unsigned &jobs)
{
    unsigned value = 0;
    const char *end = text.data() + text.size();
    const auto [stop, failure] = std::from_chars(text.data(), end, value);
    if (failure != std::errc() || stop != end || value == 0)
        return false;
    jobs = value;
    return true;
}

// A comma-separated list of suffixes; an empty one, or an empty item, is
// refused rather than taken to match every name.
bool readExtensions(std::string_view list, std::vector<std::string> &extensions)
{
    extensions.clear();
    for (;;) {
        const size_t comma = list.find(',');
        const std::string_view item = list.substr(0, comma);
        if (item.empty())
            return false;
        extensions.emplace_back(item);
        if (comma == std::string_view::npos)
            return true;
        list.remove_prefix(comma + 1);
    }
}

bool takeValue(std::string_view option, const char *value, Options &options, std::string &error)
{
    const bool jobs = option == "-j" || option == "--jobs";
    if (jobs ? readJobs(value, options.jobs) : readExtensions(value, options.extensions))
        return true;
    error = std::string(jobs ? "invalid number of jobs: '" : "invalid extension list: '") + value + "'";
    return false;
}

// The value of an option that takes one: glued to -j, after '=' in a long
// option, or the next argument. Advances `i` past a value taken from there.
const char *valueOf(int argc, char **argv, int &i, std::string_view name, size_t equals)
{
    if (name == "-j" && argv[i][2] != '\0')
        return argv[i] + 2;
    if (equals != std::string_view::npos)
        return argv[i] + equals + 1;
    return i + 1 < argc ? argv[++i] : nullptr;
}

} // namespace

Parsed parseOptions(int argc, char **argv, Options &options, std::string &error)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; i++) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg == "-" || !arg.starts_with('-')) {
            options.paths.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const size_t equals = arg.find('=');
        const std::string_view name = arg.starts_with("--") ? arg.substr(0, equals) : arg.substr(0, 2);
        const bool takesValue = name == "-j" || name == "--jobs" || name == "--ext";
        if (name == "--help" || name == "--version" || name == "--json") {
            if (equals != std::string_view::npos) {
                error = "option '" + std::string(name) + "' doesn't allow an argument";
                return Parsed::USAGE_ERROR;
            }
            if (name != "--json")
                return name == "--help" ? Parsed::HELP : Parsed::VERSION;
            options.json = true;
        } else if (!takesValue) {
            error = arg.starts_with("--") ? "unrecognized option '" + std::string(arg) + "'"
                                          : "invalid option -- '" + std::string(arg.substr(1, 1)) + "'";
            return Parsed::USAGE_ERROR;
        } else if (const char *value = valueOf(argc, argv, i, name, equals)) {
            if (!takeValue(name, value, options, error))
                return Parsed::USAGE_ERROR;
        } else {
            error = "option '" + std::string(name) + "' requires an argument";
            return Parsed::USAGE_ERROR;
        }
    }
    return Parsed::RUN;
}

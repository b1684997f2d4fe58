// Where the paths of a report for a CI service are relative to: the top of
// the git work tree that holds the current directory, as code scanning and
// merge-request pages resolve a path against the repository's top; outside
// a work tree, the current directory.
#pragma once

#include <string>
#include <string_view>

namespace cli {

struct SourceRoot {
    std::string top;       // absolute, ending in '/'
    std::string current;   // the current directory, absolute, ending in '/'
    bool workTree = false; // `top` is a work tree's; else it is `current`

    // `path`, as given or found by the walk, below the top: without "./",
    // "." or "..", as the current directory's path below the top then the
    // path's own. A path outside the top stays absolute; standard input
    // ("-") stays as it is.
    std::string relative(std::string_view path) const;
};

// The root of a run in `current` (absolute, ending in '/') whose work tree,
// if any, has its top at `workTreeTop` (the same form, or "").
SourceRoot sourceRootOf(std::string current, const std::string &workTreeTop);

} // namespace cli

// A view of a tree other than a row per file: the sums of the files below
// each directory (-d, -s).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "report/output.h"
#include "run/window.h"

namespace cli {

// The sums of the directories the walk is in, from the marks it sets where
// it enters and leaves each (see WalkRules::marks), as du sums them: one
// level per directory entered and not yet left, so that memory grows with
// the depth of the tree only.
class DirectoryView {
public:
    // `maxDepth`: the deepest level that gets a row, 0 for the argument;
    // -1 for no directory rows at all.
    explicit DirectoryView(int maxDepth) : maxDepth_(maxDepth) {}

    // Takes a mark, or a file measured inside a directory, whose figures go
    // to its sums instead of a row of its own: then true, and `row` holds
    // the row of a directory left within the depth. False for a target that
    // keeps its own row.
    bool take(const Target &target, std::optional<DirectoryRow> &row);

    // Whether a walk is in a directory: its files are summed, not rows.
    bool inside() const { return !levels_.empty(); }

    void enter();

    // Adds a file measured in the deepest directory entered.
    void add(std::string_view path, const Figures &figures);

    // Leaves the deepest directory, whose path is `path`: its sums go to
    // its parent, and come back as a row when it is within the depth.
    std::optional<DirectoryRow> leave(std::string path);

private:
    int maxDepth_;
    std::vector<Totals> levels_;
};

} // namespace cli

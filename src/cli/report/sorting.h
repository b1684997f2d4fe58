// The rows of a run in the order --sort asks for. Sorting needs every row
// before the first is written: each is held by its path and figures only,
// so that memory grows with the number of rows (about 100 bytes each) and
// never with what the files hold.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "report/output.h"

namespace cli {

// What rows are ordered by: a figure, largest first, or the path, in the
// order of its bytes. Rows that tie keep their output order.
struct SortKey {
    Count Figures::*figure = nullptr; // nullptr: the path
};

// The key named `name`: "path", or the JSON key of a figure.
std::optional<SortKey> sortKeyNamed(std::string_view name);

// "'path', 'lines', ... and 'identifiers'": the names sortKeyNamed takes.
std::string sortKeyNames();

struct FileRow {
    std::string path;
    Figures figures;
};

using SortedRow = std::variant<FileRow, DirectoryRow>;

class SortedRows {
public:
    explicit SortedRows(SortKey key) : key_(key) {}

    void add(SortedRow &&row) { rows_.push_back(std::move(row)); }

    // Every row added, in order.
    const std::vector<SortedRow> &sorted();

private:
    SortKey key_;
    std::vector<SortedRow> rows_;
};

} // namespace cli

#include "report/sorting.h"

#include <algorithm>

namespace cli {

std::optional<SortKey> sortKeyNamed(std::string_view name)
{
    if (name == "path")
        return SortKey{};
    for (const FigureKey &key : FIGURE_KEYS)
        if (key.name == name)
            return SortKey{key.member};
    return std::nullopt;
}

std::string sortKeyNames()
{
    std::string names = "'path'";
    const std::size_t count = std::size(FIGURE_KEYS);
    for (std::size_t k = 0; k < count; k++) {
        names += k + 1 == count ? " and '" : ", '";
        names += FIGURE_KEYS[k].name;
        names += '\'';
    }
    return names;
}

namespace {

std::string_view pathOf(const SortedRow &row)
{
    const FileRow *file = std::get_if<FileRow>(&row);
    return file != nullptr ? std::string_view(file->path) : std::string_view(std::get<DirectoryRow>(row).directory);
}

// A directory's figures are those of its sums; a directory where nothing
// was measured counts as zeros.
Count figureOf(const SortedRow &row, Count Figures::*figure)
{
    const FileRow *file = std::get_if<FileRow>(&row);
    return file != nullptr ? file->figures.*figure : std::get<DirectoryRow>(row).sums.figures().*figure;
}

} // namespace

const std::vector<SortedRow> &SortedRows::sorted()
{
    if (key_.figure == nullptr) {
        std::stable_sort(rows_.begin(), rows_.end(),
                         [](const SortedRow &a, const SortedRow &b) { return pathOf(a) < pathOf(b); });
    } else {
        Count Figures::*const figure = key_.figure;
        std::stable_sort(rows_.begin(), rows_.end(), [figure](const SortedRow &a, const SortedRow &b) {
            return figureOf(a, figure) > figureOf(b, figure);
        });
    }
    return rows_;
}

} // namespace cli

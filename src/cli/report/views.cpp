#include "report/views.h"

namespace cli {

void DirectorySums::enter()
{
    levels_.emplace_back();
}

void DirectorySums::add(std::string_view path, const Figures &figures)
{
    levels_.back().add(path, figures);
}

std::optional<DirectoryRow> DirectorySums::leave(std::string path)
{
    if (levels_.empty())
        return std::nullopt;
    Totals sums = std::move(levels_.back());
    levels_.pop_back();
    if (!levels_.empty())
        levels_.back().add(sums);
    if (levels_.size() > static_cast<std::size_t>(maxDepth_))
        return std::nullopt;
    return DirectoryRow{std::move(path), std::move(sums)};
}

} // namespace cli

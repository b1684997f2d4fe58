#include "report/views.h"

namespace cli {

bool DirectoryView::take(const Target &target, std::optional<DirectoryRow> &row)
{
    const TargetState state = target.outcome.state;
    if (state == TargetState::Entered) {
        enter();
        return true;
    }
    if (state == TargetState::Left) {
        row = leave(target.request.path);
        return true;
    }
    if (state != TargetState::Measured || !inside())
        return false;
    add(target.request.path, target.outcome.figures);
    return true;
}

void DirectoryView::enter()
{
    levels_.emplace_back();
}

void DirectoryView::add(std::string_view path, const Figures &figures)
{
    levels_.back().add(path, figures);
}

std::optional<DirectoryRow> DirectoryView::leave(std::string path)
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

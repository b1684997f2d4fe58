#include "report/source_root.h"

#include <vector>

namespace cli {

namespace {

// The names of an absolute path, with "." and "" dropped and ".." taking
// the name before it away, as far as the root. A name that is a symbolic
// link to elsewhere is taken as a directory of its own: the walk follows
// none, and a path given through one is read as the user wrote it.
std::vector<std::string_view> namesOf(std::string_view path, std::vector<std::string_view> names = {})
{
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        const std::string_view name = path.substr(0, slash);
        if (name == "..") {
            if (!names.empty())
                names.pop_back();
        } else if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
    }
    return names;
}

} // namespace

std::string SourceRoot::relative(std::string_view path) const
{
    if (path == "-")
        return std::string(path);
    std::vector<std::string_view> names = namesOf(path.starts_with('/') ? path : current);
    if (!path.starts_with('/'))
        names = namesOf(path, std::move(names));
    const std::vector<std::string_view> topNames = namesOf(top);
    const bool below = names.size() > topNames.size() && std::equal(topNames.begin(), topNames.end(), names.begin());
    std::string joined = below ? "" : "/";
    for (std::size_t k = below ? topNames.size() : 0; k < names.size(); k++) {
        joined += names[k];
        if (k + 1 < names.size())
            joined += '/';
    }
    return joined;
}

SourceRoot sourceRootOf(std::string current, const std::string &workTreeTop)
{
    if (!current.ends_with('/'))
        current += '/';
    SourceRoot root{.top = workTreeTop.empty() ? current : workTreeTop, .current = current,
                    .workTree = !workTreeTop.empty()};
    if (!root.top.ends_with('/'))
        root.top += '/';
    return root;
}

} // namespace cli

// The levels of a walk: the directories it is in, and the entries of each
// still to walk.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

#include "find/opening.h"

namespace cli {

inline bool hasExtension(std::string_view name, const std::vector<std::string> &extensions)
{
    for (const std::string &extension : extensions)
        if (name.size() > extension.size() && name.ends_with(extension) &&
            name[name.size() - extension.size() - 1] == '.')
            return true;
    return false;
}

// An entry of a directory still to be walked.
struct Entry {
    std::string key; // its name, with '/' after it for a directory
    int error = 0;   // errno of the failure to learn what it is
};

// A directory the walk is in.
struct WalkedDirectory {
    std::shared_ptr<OpenDirectory> directory; // null while closed to spare descriptors
    dev_t device = 0;
    ino_t inode = 0;
    size_t pathLength = 0;      // its path is the start of Walker::path_
    std::vector<Entry> entries; // those left to walk, the next one last
};

} // namespace cli

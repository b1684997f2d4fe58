// The walk of a source tree.
#pragma once

#include <functional>
#include <string>
#include <vector>

// Calls `found` with the path of every regular file below the directory
// `root` whose name ends in '.' and one of `extensions`, named as `root`
// joined by '/' to its path below it, with error 0; and with the path of
// every directory that could not be read, with the errno of the failure.
// Names beginning with '.' are passed over, and so are symbolic links, so
// that a link loop cannot trap the walk, and FIFOs, sockets and devices, so
// that it never blocks. The order of the calls is not sorted.
void walkTree(const std::string &root, const std::vector<std::string> &extensions,
              const std::function<void(std::string path, int error)> &found);

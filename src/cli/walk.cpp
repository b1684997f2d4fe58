#include "walk.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <string_view>
#include <sys/stat.h>

namespace {

bool hasExtension(std::string_view name, const std::vector<std::string> &extensions)
{
    for (const std::string &extension : extensions)
        if (name.size() > extension.size() && name.ends_with(extension) &&
            name[name.size() - extension.size() - 1] == '.')
            return true;
    return false;
}

std::string joined(const std::string &directory, const char *name)
{
    std::string path = directory;
    if (path.empty() || path.back() != '/')
        path += '/';
    return path += name;
}

// The type of an entry whose directory listing did not say, without
// following a symbolic link; DT_UNKNOWN when it is gone.
unsigned char typeOf(const std::string &path)
{
    struct stat status;
    if (lstat(path.c_str(), &status) != 0)
        return DT_UNKNOWN;
    if (S_ISDIR(status.st_mode))
        return DT_DIR;
    return S_ISREG(status.st_mode) ? DT_REG : DT_UNKNOWN;
}

} // namespace

// Directories waiting to be read are kept on a stack rather than in the call
// chain, so that no depth of tree can exhaust it.
void walkTree(const std::string &root, const WalkRules &rules, const std::function<void(Found &&)> &found)
{
    std::vector<std::string> pending = {root};
    while (!pending.empty()) {
        const std::string directory = std::move(pending.back());
        pending.pop_back();
        DIR *stream = opendir(directory.c_str());
        if (stream == nullptr) {
            found({.path = directory, .error = errno});
            continue;
        }
        for (;;) {
            errno = 0;
            const dirent *entry = readdir(stream);
            if (entry == nullptr)
                break;
            if (entry->d_name[0] == '.')
                continue;
            unsigned char type = entry->d_type;
            if (type == DT_UNKNOWN)
                type = typeOf(joined(directory, entry->d_name));
            if (type == DT_DIR)
                pending.push_back(joined(directory, entry->d_name));
            else if (type == DT_REG && hasExtension(entry->d_name, rules.extensions))
                found({.path = joined(directory, entry->d_name), .name = joined(directory, entry->d_name)});
        }
        if (errno != 0)
            found({.path = directory, .error = errno});
        closedir(stream);
    }
}

OpenDirectory::~OpenDirectory()
{
    if (fd_ >= 0)
        close(fd_);
}

int openFound(const Found &found, int &error)
{
    const int at = found.directory ? found.directory->fd() : AT_FDCWD;
    const int fd = openat(at, found.name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    struct stat status;
    error = fd < 0 ? errno : 0;
    if (fd >= 0 && (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))) {
        close(fd);
        return -1;
    }
    return fd;
}

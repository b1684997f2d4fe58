// Loaded into the program with LD_PRELOAD by the walk's tests, to make
// certain what a real file system does only by chance: it changes the tree
// at the moment the program opens a given name, and it can hide the type of
// every directory entry, as some file systems do. Set in the environment:
//   WALK_SHIM_AT=NAME          opening (or fstatat) a path whose last name is NAME, once, ...
//   WALK_SHIM_MOVE=A:B[,C:D]   ... renames A to B, then C to D (relative paths)
//   WALK_SHIM_LINK=TARGET      ... and then makes A a symbolic link to TARGET
//   WALK_SHIM_UNKNOWN=1        every entry listed comes back as DT_UNKNOWN
//   WALK_SHIM_FSTAT_FAILS=NAME fstat of a file opened (openat) under the name NAME fails with EIO
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<bool> changed{false};
std::atomic<int> failingFd{-1};

template <typename Function>
Function *real(const char *name)
{
    return reinterpret_cast<Function *>(dlsym(RTLD_NEXT, name));
}

void changeTreeOpening(const char *path)
{
    const char *at = std::getenv("WALK_SHIM_AT");
    if (at == nullptr || path == nullptr)
        return;
    const char *slash = std::strrchr(path, '/');
    if (std::strcmp(slash != nullptr ? slash + 1 : path, at) != 0 || changed.exchange(true))
        return;
    const char *moves = std::getenv("WALK_SHIM_MOVE");
    std::string first;
    for (std::string rest = moves != nullptr ? moves : ""; !rest.empty();) {
        const size_t end = std::min(rest.find(','), rest.size());
        const std::string move = rest.substr(0, end);
        rest.erase(0, end + 1);
        const size_t colon = move.find(':');
        const std::string from = move.substr(0, colon);
        if (colon == std::string::npos || std::rename(from.c_str(), move.c_str() + colon + 1) != 0)
            std::abort(); // a broken test, not a program fault
        if (first.empty())
            first = from;
    }
    const char *link = std::getenv("WALK_SHIM_LINK");
    if (link != nullptr && symlink(link, first.c_str()) != 0)
        std::abort();
}

bool hideTypes()
{
    const char *unknown = std::getenv("WALK_SHIM_UNKNOWN");
    return unknown != nullptr && unknown[0] == '1';
}

mode_t modeOf(int flags, va_list arguments)
{
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? va_arg(arguments, mode_t) : 0;
}

} // namespace

extern "C" {

int open(const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeOf(flags, arguments);
    va_end(arguments);
    changeTreeOpening(path);
    return real<int(const char *, int, ...)>("open")(path, flags, mode);
}

int openat(int at, const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeOf(flags, arguments);
    va_end(arguments);
    changeTreeOpening(path);
    const int fd = real<int(int, const char *, int, ...)>("openat")(at, path, flags, mode);
    const char *failing = std::getenv("WALK_SHIM_FSTAT_FAILS");
    if (fd >= 0 && failing != nullptr && std::strcmp(path, failing) == 0)
        failingFd = fd;
    return fd;
}

int fstat(int fd, struct stat *status)
{
    if (fd >= 0 && fd == failingFd.load()) {
        errno = EIO;
        return -1;
    }
    return real<int(int, struct stat *)>("fstat")(fd, status);
}

int fstat64(int fd, struct stat64 *status)
{
    if (fd >= 0 && fd == failingFd.load()) {
        errno = EIO;
        return -1;
    }
    return real<int(int, struct stat64 *)>("fstat64")(fd, status);
}

int fstatat(int at, const char *path, struct stat *status, int flags)
{
    changeTreeOpening(path);
    return real<int(int, const char *, struct stat *, int)>("fstatat")(at, path, status, flags);
}

// A walk by paths, as this program's was once, lists with these two.
DIR *opendir(const char *path)
{
    changeTreeOpening(path);
    return real<DIR *(const char *)>("opendir")(path);
}

dirent *readdir(DIR *stream)
{
    dirent *entry = real<dirent *(DIR *)>("readdir")(stream);
    if (entry != nullptr && hideTypes())
        entry->d_type = DT_UNKNOWN;
    return entry;
}

ssize_t getdents64(int fd, void *buffer, size_t size)
{
    const ssize_t got = real<ssize_t(int, void *, size_t)>("getdents64")(fd, buffer, size);
    if (hideTypes())
        for (ssize_t offset = 0; offset < got;) {
            auto *entry = reinterpret_cast<dirent64 *>(static_cast<char *>(buffer) + offset);
            entry->d_type = DT_UNKNOWN;
            offset += entry->d_reclen;
        }
    return got;
}

} // extern "C"

// The walk itself: the order it finds files in, what it opens them in, and
// the descriptors it holds on a tree of any depth.
#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "find/walk.h"
#include "seed.h"

namespace {

using namespace cli;

namespace fs = std::filesystem;

fs::path temporaryDirectory()
{
    char pattern[] = "/tmp/cmeasure-walk-XXXXXX";
    EXPECT_NE(mkdtemp(pattern), nullptr);
    return pattern;
}

int descriptorsOpen()
{
    int count = 0;
    for ([[maybe_unused]] const auto &entry : fs::directory_iterator("/proc/self/fd"))
        count++;
    return count;
}

std::string contentOf(const Found &found)
{
    int error = 0;
    const int fd = openFound(found.directory.get(), found.name, error);
    EXPECT_GE(fd, 0) << found.path << ": " << error;
    char bytes[512];
    const ssize_t got = fd >= 0 ? read(fd, bytes, sizeof bytes) : 0;
    if (fd >= 0)
        close(fd);
    return std::string(bytes, static_cast<size_t>(std::max<ssize_t>(got, 0)));
}

// Names that differ only near '/' and '.', whose order as names is not that
// of the paths below them: "a/x" sorts after "a.c" and "a-b.c", before "a0".
const char *const NAMES[] = {"a", "a.c", "a-b.c", "a0", "a0.c", "a.c.c", "b.c", "a-"};

// Random trees of directories and files with those names, each file holding
// its own path: the walk finds every file, in the byte order of whole paths,
// and opens each in the directory it was found in.
TEST(Walk, FindsFilesInByteOrderOfWholePaths)
{
    std::mt19937 random(testseed::seedOr(20));
    for (int tree = 0; tree < 16; tree++) {
        const fs::path root = temporaryDirectory();
        std::vector<std::string> made;
        std::vector<fs::path> directories = {root};
        for (size_t next = 0; next < directories.size(); next++)
            for (const char *name : NAMES) {
                const fs::path path = directories[next] / name;
                const unsigned pick = random() % 4;
                if (pick == 0 && fs::path(name).extension() == ".c") {
                    std::ofstream(path) << path.string();
                    made.push_back(path.string());
                } else if (pick == 1 && directories.size() < 30) {
                    fs::create_directory(path);
                    directories.push_back(path);
                }
            }
        std::sort(made.begin(), made.end());
        std::vector<std::string> walked;
        walkTree(root.string(), {{"c"}}, [&walked](Found &&found) {
            EXPECT_FALSE(isFailure(found)) << found.path;
            EXPECT_EQ(contentOf(found), found.path);
            walked.push_back(found.path);
        });
        EXPECT_EQ(walked, made);
        fs::remove_all(root);
    }
}

// 10 000 levels, with a file at the bottom: found without a deep call
// chain, and with a few dozen descriptors open whatever the depth.
TEST(Walk, TenThousandLevelsHoldFewDescriptors)
{
    constexpr int DEPTH = 10000;
    const fs::path root = temporaryDirectory();
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level < DEPTH && fd >= 0; level++) {
        const int below = mkdirat(fd, "d", 0700) == 0 ? openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        close(fd);
        fd = below;
    }
    ASSERT_GE(fd, 0);
    close(openat(fd, "x.c", O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    close(fd);

    const int before = descriptorsOpen();
    std::vector<std::string> walked;
    int mostOpen = 0;
    walkTree(root.string(), {{"c"}}, [&](Found &&found) {
        mostOpen = std::max(mostOpen, descriptorsOpen());
        walked.push_back(found.path);
    });
    std::string expected = root.string();
    for (int level = 0; level < DEPTH; level++)
        expected += "/d";
    EXPECT_EQ(walked, std::vector<std::string>{expected + "/x.c"});
    EXPECT_LE(mostOpen - before, 40) << "descriptors held by the walk";
    EXPECT_EQ(descriptorsOpen(), before) << "descriptors left open";
    // Removed from the bottom up, by descriptor, as no path reaches it.
    fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level < DEPTH; level++) {
        const int below = openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        fd = below;
    }
    unlinkat(fd, "x.c", 0);
    for (int level = 0; level < DEPTH; level++) {
        const int above = openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        fd = above;
        unlinkat(fd, "d", AT_REMOVEDIR);
    }
    close(fd);
    EXPECT_TRUE(fs::remove(root));
}

} // namespace

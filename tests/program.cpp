#include "program.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// Root passes permission checks by these two capabilities; dropped from the
// bounding set, they are gone after exec too.
bool dropPermissionOverride()
{
    return geteuid() != 0 || (prctl(PR_CAPBSET_DROP, 1 /* CAP_DAC_OVERRIDE */, 0, 0, 0) == 0 &&
                              prctl(PR_CAPBSET_DROP, 2 /* CAP_DAC_READ_SEARCH */, 0, 0, 0) == 0);
}

// Starts the program in `dir` with standard input, output and error
// redirected; returns the exit status, or ABORTED when SIGABRT ended it.
int run(const fs::path &dir, const Case &c, const fs::path &out)
{
    std::vector<char *> argv = {const_cast<char *>(CMEASURE_PATH)};
    for (const std::string &arg : c.args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t child = fork();
    if (child == 0) {
        rlimit noCore = {0, 0};
        setrlimit(RLIMIT_CORE, &noCore); // an expected abort leaves no core file
        if (chdir(dir.c_str()) == 0 && dup2(open("stdin", O_RDONLY), 0) == 0 &&
            dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1) == 1 &&
            dup2(open("stderr", O_WRONLY | O_CREAT | O_TRUNC, 0600), 2) == 2 &&
            (!c.unprivileged || dropPermissionOverride()))
            execv(CMEASURE_PATH, argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFSIGNALED(status))
        return WTERMSIG(status) == SIGABRT ? ABORTED : 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

} // namespace

std::string report(int line, int identifiers)
{
    return "Result:\nLine with max symbols: " + std::to_string(line) +
           " \nCount of identificators: " + std::to_string(identifiers);
}

std::string caseName(const testing::TestParamInfo<Case> &info)
{
    return info.param.name;
}

TEST_P(ProgramTest, PrintsWritesAndExitsAsExpected)
{
    const Case &c = GetParam();
    char pattern[] = "/tmp/cmeasure-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    std::string input = c.input;
    for (size_t at = input.find('@'); at != std::string::npos; at = input.find('@', at + 1))
        input.replace(at, 1, dir.string());
    writeFile(dir / "stdin", input);
    if (!c.source.empty())
        writeFile(dir / "main.c", c.source);
    if (!c.setup.empty()) {
        ASSERT_EQ(std::system(("cd " + dir.string() + " && " + c.setup).c_str()), 0);
    }

    const fs::path out = c.output ? fs::path(c.output) : dir / "stdout";
    EXPECT_EQ(run(dir, c, out), c.status);
    if (!c.output) {
        EXPECT_EQ(readFile(out), (c.args.empty() ? MENU : "") + c.expected);
    }
    EXPECT_EQ(readFile(dir / "stderr"), c.errors);
    if (!c.file.empty()) {
        EXPECT_EQ(readFile(dir / c.file), c.content);
    }
    if (!c.source.empty()) {
        EXPECT_EQ(readFile(dir / "main.c"), c.source) << "the source must never change";
    }
    fs::remove_all(dir);
}

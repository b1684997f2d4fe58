// Writes the fuzz targets' starting corpora into OUT_DIR/counters,
// OUT_DIR/c_rules and OUT_DIR/program: the project's small C sources and
// random files, as they are and wrapped in each run mode's dialogue, and
// for C's rules random text of the pieces its lexer reacts to.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "c_random_text.h"
#include "random_text.h"

namespace fs = std::filesystem;

namespace {

void fail(const char *what, const fs::path &path)
{
    std::fprintf(stderr, "make_seeds: cannot %s %s\n", what, path.c_str());
    std::exit(1);
}

// Reads with read(), which marks a failed read as bad where an iterator over
// the stream would just stop as at the end.
std::string load(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::string bytes;
    char block[1 << 12];
    while (in.read(block, sizeof block) || in.gcount() > 0)
        bytes.append(block, static_cast<size_t>(in.gcount()));
    if (!in.is_open() || in.bad())
        fail("read", path);
    return bytes;
}

void save(const fs::path &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    out.close();
    if (out.fail())
        fail("write", path);
}

std::vector<std::string> sourcesIn(const fs::path &corpus)
{
    std::error_code failed;
    std::vector<std::string> sources;
    for (fs::directory_iterator entry(corpus, failed), end; !failed && entry != end; entry.increment(failed))
        sources.push_back(load(entry->path()));
    if (failed)
        fail("list", corpus);
    return sources;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_seeds CORPUS_DIR OUT_DIR\n");
        return 2;
    }
    std::vector<std::string> sources = sourcesIn(argv[1]);
    randomtext::Rng rng(1);
    for (int i = 0; i < 20; i++)
        sources.push_back(randomtext::file(rng, randomtext::pick(rng, 0, 2000)));

    const fs::path out = argv[2];
    for (const fs::path &target : {out / "counters", out / "c_rules", out / "program"}) {
        std::error_code failed;
        if (fs::create_directories(target, failed); failed)
            fail("make", target);
    }
    const std::string marker = "\n/*end_of_program*/\n";
    int n = 0;
    for (const std::string &source : sources) {
        const std::string name = std::to_string(n++);
        save(out / "counters" / name, source);
        save(out / "c_rules" / name, source);
        save(out / "program" / (name + "-1"), "1\nmain.c\nout.txt\n\x1e" + source);
        save(out / "program" / (name + "-2"), "2\nmain.c\n\x1e" + source);
        save(out / "program" / (name + "-3"), "3\n" + source + marker + "out.txt\n");
        save(out / "program" / (name + "-4"), "4\n" + source + marker);
    }
    crandom::Rng pieces(1);
    for (int i = 0; i < 20; i++)
        save(out / "c_rules" / ("pieces-" + std::to_string(i)), crandom::text(pieces, 200));
    return 0;
}

// Writes the fuzz targets' starting corpora into OUT_DIR/counters and
// OUT_DIR/program: the project's small C sources and random files, as they
// are and wrapped in each run mode's dialogue.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "random_text.h"

namespace fs = std::filesystem;

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    std::vector<std::string> sources;
    for (const fs::directory_entry &entry : fs::directory_iterator(argv[1])) {
        std::ifstream in(entry.path(), std::ios::binary);
        sources.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    randomtext::Rng rng(1);
    for (int i = 0; i < 20; i++)
        sources.push_back(randomtext::file(rng, randomtext::pick(rng, 0, 2000)));

    const fs::path out = argv[2];
    fs::create_directories(out / "counters");
    fs::create_directories(out / "program");
    const std::string marker = "\n/*end_of_program*/\n";
    int n = 0;
    for (const std::string &source : sources) {
        const std::string name = std::to_string(n++);
        std::ofstream(out / "counters" / name, std::ios::binary) << source;
        std::ofstream(out / "program" / (name + "-1"), std::ios::binary) << "1\nmain.c\nout.txt\n\x1e" << source;
        std::ofstream(out / "program" / (name + "-2"), std::ios::binary) << "2\nmain.c\n\x1e" << source;
        std::ofstream(out / "program" / (name + "-3"), std::ios::binary) << "3\n" << source << marker << "out.txt\n";
        std::ofstream(out / "program" / (name + "-4"), std::ios::binary) << "4\n" << source << marker;
    }
    return 0;
}

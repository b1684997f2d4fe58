// Arbitrary bytes under C's rules: the figures and the lines over a limit
// the same in every instruction set the processor runs, whether the input
// comes whole, in pieces split anywhere, or read from a file that drops CR
// before LF; the lines and symbols those of the model. The first byte
// chooses the dialect and the limit.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "c_model.h"
#include "c_rules.h"
#include "scratch.h"

namespace {

FILE *const file = std::tmpfile();

struct Measured {
    crules::Figures figures;
    std::vector<crules::LineOverLimit> over;
};

void collect(void *context, const crules::LineOverLimit &line)
{
    static_cast<std::vector<crules::LineOverLimit> *>(context)->push_back(line);
}

void check(bool holds, const char *what)
{
    if (!holds) {
        std::fprintf(stderr, "c_rules_fuzz: %s\n", what);
        std::abort();
    }
}

bool same(const Measured &a, const Measured &b)
{
    const crules::Figures &x = a.figures;
    const crules::Figures &y = b.figures;
    if (x.lines != y.lines || x.densestLine != y.densestLine || x.maxSymbols != y.maxSymbols ||
        x.identifiers != y.identifiers || a.over.size() != b.over.size())
        return false;
    for (std::size_t k = 0; k < a.over.size(); k++)
        if (a.over[k].line != b.over[k].line || a.over[k].symbols != b.over[k].symbols ||
            a.over[k].column != b.over[k].column || a.over[k].allowed != b.over[k].allowed)
            return false;
    return true;
}

// Fed in pieces of 1 to `largest` bytes, their sizes drawn from `seed`.
Measured inPieces(const std::string &text, crules::Dialect dialect, crules::Count limit, InstructionSet set,
                  std::size_t largest, std::uint32_t seed)
{
    Measured measured;
    const crules::LineLimit gate{limit, collect, &measured.over};
    crules::Scanner scanner(dialect, &gate, set);
    for (std::size_t at = 0, size; at < text.size(); at += size) {
        seed = seed * 1664525u + 1013904223u;
        size = std::min<std::size_t>(1 + (seed >> 8) % largest, text.size() - at);
        scanner.feed(text.data() + at, size);
    }
    measured.figures = scanner.finish();
    return measured;
}

Measured fromFile(crules::Dialect dialect, crules::Count limit, InstructionSet set)
{
    Measured measured;
    check(lseek(fileno(file), 0, SEEK_SET) == 0, "cannot rewind the scratch file");
    const crules::LineLimit gate{limit, collect, &measured.over};
    TextInput input(fileno(file));
    measured.figures = crules::scan(input, dialect, &gate, set).figures;
    return measured;
}

void checkModel(const std::string &text, const Measured &measured, crules::Count limit)
{
    const std::vector<cmodel::Line> lines = cmodel::lines(text);
    check(measured.figures.lines == static_cast<crules::Count>(lines.size()), "lines differ from the model");
    std::size_t over = 0;
    for (std::size_t k = 0; k < lines.size(); k++) {
        if (lines[k].symbols <= limit)
            continue;
        check(over < measured.over.size() && measured.over[over].line == static_cast<crules::Count>(k + 1) &&
                  measured.over[over].symbols == lines[k].symbols &&
                  measured.over[over].column == lines[k].columns[static_cast<std::size_t>(limit)],
              "a line over the limit differs from the model");
        over++;
    }
    check(over == measured.over.size(), "more lines over the limit than the model has");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    const crules::Dialect dialect = size > 0 && (data[0] & 1) != 0 ? crules::Dialect::Cpp : crules::Dialect::C;
    const crules::Count limit = size == 0 ? 0 : data[0] >> 2;
    check(file != nullptr && scratch::replace(fileno(file), text.data(), text.size()), "cannot write the scratch file");
    const Measured whole = inPieces(text, dialect, limit, InstructionSet::Portable, size + 1, 0);
    checkModel(text, whole, limit);
    for (const InstructionSet set : INSTRUCTION_SETS) {
        if (!processorRuns(set))
            continue;
        check(same(inPieces(text, dialect, limit, set, size + 1, 0), whole), "a set differs on the whole input");
        check(same(inPieces(text, dialect, limit, set, 1 + size % 7, static_cast<std::uint32_t>(size)), whole),
              "pieces give other figures");
        check(same(fromFile(dialect, limit, set), whole), "the file read gives other figures");
    }
    return 0;
}

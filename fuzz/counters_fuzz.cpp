// Arbitrary bytes as a file: each piece a line read would take through the
// two line counters and the model, then the whole file through the file
// line scan and the model, in every instruction set the processor runs.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

#include "counters.h"
#include "main.h"
#include "model.h"
#include "scratch.h"

namespace {

FILE *const file = std::tmpfile();

void check(bool holds, const char *what)
{
    if (!holds) {
        std::fprintf(stderr, "counters_fuzz: %s\n", what);
        std::abort();
    }
}

// Every instruction set this processor runs, the widest (which the menu's
// counters use) checked above included.
const std::vector<InstructionSet> SETS = [] {
    std::vector<InstructionSet> sets;
    for (const InstructionSet set :
         {InstructionSet::Portable, InstructionSet::Sse2, InstructionSet::Avx2, InstructionSet::Avx512})
        if (processorRuns(set))
            sets.push_back(set);
    return sets;
}();

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    bool inside = is_in_comment = false;
    for (const std::string &piece : model::pieces(text)) {
        char copy[model::WIDTH] = {};
        std::memcpy(copy, piece.data(), piece.size());
        std::memcpy(line, copy, sizeof copy);
        const bool before = is_in_comment;
        int identifiers = countIdentificatorsInLine(line);
        check(identifiers == model::identifiers(copy, inside) && is_in_comment == inside,
              "the identifiers differ from the model's");
        check(countSymbolsInLine(line) == model::symbols(copy), "the symbols differ from the model's");
        for (const InstructionSet set : SETS) {
            bool flag = before;
            check(countIdentifiers(line, flag, set) == identifiers && flag == inside &&
                  countSymbols(line, set) == model::symbols(copy), "an instruction set differs from the model");
        }
    }

    check(file != nullptr && scratch::replace(fileno(file), reinterpret_cast<const char *>(data), size),
          "cannot prepare the scratch file");
    fp = file;
    std::memset(line, 0, sizeof line);
    is_in_comment = false;
    counter();
    const model::Figures expected = model::scan(text);
    check(lineWithMaxSymbols == expected.line && countIdentificators == expected.identifiers,
          "the file scan differs from the model's");
    for (const InstructionSet set : SETS) {
        check(lseek(fileno(file), 0, SEEK_SET) == 0, "cannot rewind the scratch file");
        TextInput input(fileno(file));
        char buffer[NUM_OF_CHARS_IN_LINE] = {};
        const FileFigures figures = scanLines(input, buffer, set).figures;
        check(model::Figures({figures.lineWithMaxSymbols, figures.identifiers, figures.lines, figures.maxSymbols}) ==
                  expected, "the file scan of an instruction set differs from the model's");
    }
    return 0;
}

// Arbitrary bytes as a file: each piece a line read would take through the
// two line counters, then the whole file through the file line scan, plain
// and reporting the pieces over a limit, in every instruction set the
// processor runs, against the model. It links the
// engine alone; the menu's adapters over it are covered end to end.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/against_model.h"
#include "scratch.h"

namespace {

FILE *const file = std::tmpfile();

void check(const std::string &differs)
{
    if (!differs.empty()) {
        std::fprintf(stderr, "counters_fuzz: %s\n", differs.c_str());
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    std::array<bool, INSTRUCTION_SETS.size()> inside{};
    bool modelInside = false;
    for (const std::string &piece : model::pieces(text)) {
        const againstmodel::Line line(piece);
        const againstmodel::LineFigures expected = againstmodel::modelLine(line, modelInside);
        for (size_t k = 0; k < INSTRUCTION_SETS.size(); k++)
            if (processorRuns(INSTRUCTION_SETS[k]))
                check(againstmodel::lineDiffers(line, INSTRUCTION_SETS[k], inside[k], expected));
    }

    if (file == nullptr || !scratch::replace(fileno(file), text.data(), text.size()))
        check("cannot prepare the scratch file");
    const model::Figures expected = model::scan(text);
    // The scan that reports the pieces over a limit, which the first byte
    // chooses from 0 to 359.
    const int limit = size == 0 ? 0 : data[0] * (LINE_BUFFER_SIZE - 1) / 255;
    const std::vector<model::OverLimit> overLimit = model::overLimit(text, limit);
    for (const InstructionSet set : INSTRUCTION_SETS) {
        if (!processorRuns(set))
            continue;
        if (lseek(fileno(file), 0, SEEK_SET) != 0)
            check("cannot rewind the scratch file");
        TextInput input(fileno(file));
        check(againstmodel::scanDiffers(input, set, expected));
        if (lseek(fileno(file), 0, SEEK_SET) != 0)
            check("cannot rewind the scratch file");
        input.reopen(fileno(file));
        check(againstmodel::reportingScanDiffers(input, set, limit, expected, overLimit));
    }
    return 0;
}

// Arbitrary bytes as a file: each piece a line read would take through the
// two line counters and the model, then the whole file through the file
// line scan and the model.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "counters.h"
#include "main.h"
#include "model.h"

namespace {

FILE *const scratch = std::tmpfile();

void check(bool agrees)
{
    if (!agrees)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    bool inside = is_in_comment = false;
    for (const std::string &piece : model::pieces(text)) {
        char copy[model::WIDTH] = {};
        std::memcpy(copy, piece.data(), piece.size());
        std::memcpy(line, copy, sizeof copy);
        int identifiers = countIdentificatorsInLine(line);
        check(identifiers == model::identifiers(copy, inside) && is_in_comment == inside);
        check(countSymbolsInLine(line) == model::symbols(copy));
    }

    check(scratch != nullptr && ftruncate(fileno(scratch), 0) == 0);
    check(pwrite(fileno(scratch), data, size, 0) == static_cast<ssize_t>(size));
    check(lseek(fileno(scratch), 0, SEEK_SET) == 0);
    fp = scratch;
    std::memset(line, 0, sizeof line);
    is_in_comment = false;
    counter();
    const model::Figures expected = model::scan(text);
    check(lineWithMaxSymbols == expected.line && countIdentificators == expected.identifiers);
    return 0;
}

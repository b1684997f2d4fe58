// The two line counters on a typical line, an empty one, and the worst
// cases: a full line of identifier characters, and one of alternating
// comment and string openers and closers.
#include <cstring>
#include <string>

#include <benchmark/benchmark.h>

#include "counters.h"
#include "main.h"

namespace {

const std::string TYPICAL = "    for (i = 0; i < count; i++) /* walk */ total += table[i];\n";
const std::string FULL_WORD(359, 'a');
const std::string TOGGLING = [] {
    std::string text;
    while (text.size() + 4 <= 359)
        text += "/**/\"a\" ";
    return text.substr(0, 359);
}();

void fill(const std::string &text)
{
    std::memset(line, 0, NUM_OF_CHARS_IN_LINE);
    std::memcpy(line, text.data(), text.size());
}

void symbols(benchmark::State &state, const std::string &text)
{
    fill(text);
    for (auto _ : state)
        benchmark::DoNotOptimize(countSymbolsInLine(line));
}

void identifiers(benchmark::State &state, const std::string &text)
{
    fill(text);
    for (auto _ : state) {
        is_in_comment = false;
        benchmark::DoNotOptimize(countIdentificatorsInLine(line));
    }
}

BENCHMARK_CAPTURE(symbols, empty, std::string());
BENCHMARK_CAPTURE(symbols, typical, TYPICAL);
BENCHMARK_CAPTURE(symbols, full_word, FULL_WORD);
BENCHMARK_CAPTURE(identifiers, empty, std::string());
BENCHMARK_CAPTURE(identifiers, typical, TYPICAL);
BENCHMARK_CAPTURE(identifiers, full_word, FULL_WORD);
BENCHMARK_CAPTURE(identifiers, toggling, TOGGLING);

} // namespace

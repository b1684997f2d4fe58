// The two line counters on a typical line, an empty one, short and plain
// ones, a line inside a comment, and the worst cases: a full line of
// identifier characters, and one of alternating comment and string openers
// and closers; then the file line scan over a megabyte of header-like lines
// and of full lines, and the scan that reports the pieces over a limit with
// none and with every piece over it. Each runs through every instruction set
// the processor runs, and the scan reports its time per line, reads
// included; then the same files scanned under C's rules, without a gate
// and with one that no line passes and one that every line passes.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "c_rules.h"
#include "counting.h"

namespace {

const std::string TYPICAL = "    for (i = 0; i < count; i++) /* walk */ total += table[i];\n";
const std::string SHORT = "#endif\n";
const std::string PLAIN = "    total += table[i] * count;\n";
const std::string IN_COMMENT = " * Write formatted output to STREAM; takes a string.\n";
const std::string FULL_WORD(359, 'a');
const std::string TOGGLING = [] {
    std::string text;
    while (text.size() + 4 <= 359)
        text += "/**/\"a\" ";
    return text.substr(0, 359);
}();

// Lines as headers have them: comments, directives, declarations, blanks.
const std::string HEADER_LINES = "/* Declarations for the standard input and output functions.\n"
                                 "   Copyright (C) 1991-2023 Free Software Foundation, Inc.  */\n"
                                 "\n"
                                 "#ifndef _STDIO_H\n"
                                 "#define _STDIO_H\t1\n"
                                 "/**\n"
                                 " * Write formatted output to STREAM; \"%s\" takes a string.\n"
                                 " */\n"
                                 "extern int fprintf (FILE *__restrict __stream,\n"
                                 "\t\t    const char *__restrict __format, ...) __nonnull ((1));\n" +
                                 TYPICAL + "# define BUFSIZ 8192 // the default\n";

// A line buffer as the readers leave it: text in front, zero fill behind.
struct Line {
    explicit Line(const std::string &text) { std::memcpy(bytes, text.data(), text.size()); }
    char bytes[LINE_BUFFER_SIZE] = {};
};

void symbols(benchmark::State &state, InstructionSet set, const std::string &text)
{
    const Line line(text);
    for (auto _ : state)
        benchmark::DoNotOptimize(countSymbols(line.bytes, set));
}

void identifiers(benchmark::State &state, InstructionSet set, const std::string &text)
{
    const Line line(text);
    for (auto _ : state) {
        bool inside = false;
        benchmark::DoNotOptimize(countIdentifiers(line.bytes, inside, set));
    }
}

// Counts the pieces a scan reports.
void countPiece(void *context, const PieceOverLimit & /*piece*/)
{
    ++*static_cast<Count *>(context);
}

// The plain scan, which reports nothing.
constexpr int NO_LIMIT = -1;

// A file of `lines` repeated to a megabyte, scanned whole per iteration,
// reads included, plain or reporting the pieces over `limit`; the counter
// is the time per line.
void scan(benchmark::State &state, InstructionSet set, const std::string &lines, int limit)
{
    std::string text;
    while (text.size() < (1 << 20))
        text += lines;
    FILE *file = std::tmpfile();
    if (file == nullptr || write(fileno(file), text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        state.SkipWithError("cannot write a scratch file");
        return;
    }
    TextInput input(fileno(file));
    char buffer[LINE_BUFFER_SIZE] = {};
    Count reported = 0;
    const PieceLimit report = {limit, countPiece, &reported};
    FileFigures figures;
    for (auto _ : state) {
        lseek(fileno(file), 0, SEEK_SET);
        input.reopen(fileno(file));
        figures = (limit == NO_LIMIT ? scanLines(input, buffer, set) : scanLines(input, buffer, report, set)).figures;
        benchmark::DoNotOptimize(figures);
    }
    state.counters["per_line"] = benchmark::Counter(static_cast<double>(figures.lines),
                                                    benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
    if (limit != NO_LIMIT)
        state.counters["reported"] = benchmark::Counter(static_cast<double>(reported), benchmark::Counter::kAvgIterations);
    std::fclose(file);
}

// Counts the lines a gated scan under C's rules reports.
void countLine(void *context, const crules::LineOverLimit & /*line*/)
{
    ++*static_cast<Count *>(context);
}

// The same megabyte scanned under C's rules, to set beside the scan above,
// without a gate or with one at `limit`.
void scanC(benchmark::State &state, InstructionSet set, const std::string &lines, crules::Count limit)
{
    std::string text;
    while (text.size() < (1 << 20))
        text += lines;
    FILE *file = std::tmpfile();
    if (file == nullptr || write(fileno(file), text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        state.SkipWithError("cannot write a scratch file");
        return;
    }
    TextInput input(fileno(file));
    crules::Figures figures;
    Count reported = 0;
    const crules::LineLimit gate{limit, countLine, &reported};
    for (auto _ : state) {
        lseek(fileno(file), 0, SEEK_SET);
        input.reopen(fileno(file));
        figures = crules::scan(input, crules::Dialect::C, limit == NO_LIMIT ? nullptr : &gate, set).figures;
        benchmark::DoNotOptimize(figures);
    }
    state.counters["per_line"] = benchmark::Counter(static_cast<double>(figures.lines),
                                                    benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
    std::fclose(file);
}

const bool REGISTERED = [] {
    for (InstructionSet set : INSTRUCTION_SETS) {
        if (!processorRuns(set))
            continue;
        const std::string name = nameOf(set);
        benchmark::RegisterBenchmark(("symbols/" + name + "/empty").c_str(), symbols, set, std::string());
        benchmark::RegisterBenchmark(("symbols/" + name + "/typical").c_str(), symbols, set, TYPICAL);
        benchmark::RegisterBenchmark(("symbols/" + name + "/full_word").c_str(), symbols, set, FULL_WORD);
        benchmark::RegisterBenchmark(("identifiers/" + name + "/empty").c_str(), identifiers, set, std::string());
        benchmark::RegisterBenchmark(("identifiers/" + name + "/typical").c_str(), identifiers, set, TYPICAL);
        benchmark::RegisterBenchmark(("identifiers/" + name + "/full_word").c_str(), identifiers, set, FULL_WORD);
        benchmark::RegisterBenchmark(("identifiers/" + name + "/short").c_str(), identifiers, set, SHORT);
        benchmark::RegisterBenchmark(("identifiers/" + name + "/plain").c_str(), identifiers, set, PLAIN);
        benchmark::RegisterBenchmark(("identifiers/" + name + "/in_comment").c_str(), identifiers, set, IN_COMMENT);
        benchmark::RegisterBenchmark(("identifiers/" + name + "/toggling").c_str(), identifiers, set, TOGGLING);
        benchmark::RegisterBenchmark(("scan/" + name + "/header_lines").c_str(), scan, set, HEADER_LINES, NO_LIMIT);
        benchmark::RegisterBenchmark(("scan/" + name + "/full_words").c_str(), scan, set, FULL_WORD + "\n", NO_LIMIT);
        benchmark::RegisterBenchmark(("scan_c/" + name + "/header_lines").c_str(), scanC, set, HEADER_LINES,
                                     NO_LIMIT);
        benchmark::RegisterBenchmark(("scan_c/" + name + "/full_words").c_str(), scanC, set, FULL_WORD + "\n",
                                     NO_LIMIT);
        benchmark::RegisterBenchmark(("scan_c_limit/" + name + "/header_lines_none_over").c_str(), scanC, set,
                                     HEADER_LINES, INT64_MAX);
        benchmark::RegisterBenchmark(("scan_c_limit/" + name + "/header_lines_all_over").c_str(), scanC, set,
                                     HEADER_LINES, 0);
        // A limit no piece passes, and one every piece passes.
        benchmark::RegisterBenchmark(("scan_limit/" + name + "/header_lines_none_over").c_str(), scan, set,
                                     HEADER_LINES, LINE_BUFFER_SIZE - 1);
        benchmark::RegisterBenchmark(("scan_limit/" + name + "/header_lines_all_over").c_str(), scan, set,
                                     HEADER_LINES, 0);
    }
    return true;
}();

} // namespace

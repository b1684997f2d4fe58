// C's rules against their oracles on random text: the identifiers against
// clang's raw lexer, the lines, the symbols and the gate's lines against
// the plain model, in C and C++, in every instruction set the processor
// runs, the input fed in pieces split at random places and read from a
// file as the command line reads it. Sequence k of a row uses seed
// firstSeed + k, printed when it fails.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sched.h>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "c_model.h"
#include "print_set.h"
#include "c_random_text.h"
#include "c_rules.h"
#include "clang_oracle.h"
#include "random_text.h"
#include "seed.h"

namespace {

struct Expected {
    crules::Figures figures;
    std::vector<crules::LineOverLimit> overLimit;
};

// The model's figures and its lines over `limit`, the characters `hidden`
// marks left out.
Expected modelOf(const std::string &text, crules::Count limit, const std::vector<bool> *hidden = nullptr)
{
    Expected expected;
    const std::vector<cmodel::Line> lines = cmodel::lines(text, hidden);
    expected.figures.lines = static_cast<crules::Count>(lines.size());
    for (std::size_t k = 0; k < lines.size(); k++) {
        const auto number = static_cast<crules::Count>(k + 1);
        if (expected.figures.densestLine == 0 || lines[k].symbols > expected.figures.maxSymbols) {
            expected.figures.maxSymbols = lines[k].symbols;
            expected.figures.densestLine = number;
        }
        if (lines[k].symbols > limit)
            expected.overLimit.push_back({number, lines[k].symbols, lines[k].columns[limit], false,
                                          lines[k].characterColumns[limit], lines[k].symbolsHash});
    }
    return expected;
}

struct Measured {
    crules::Figures figures;
    std::vector<crules::LineOverLimit> overLimit;
};

void collect(void *context, const crules::LineOverLimit &line)
{
    static_cast<std::vector<crules::LineOverLimit> *>(context)->push_back(line);
}

// The text fed in pieces of 1 to `largest` bytes, through the gate or,
// without one, through the scan that gives the figures alone.
Measured measureInPieces(const std::string &text, crules::Dialect dialect, InstructionSet set, crules::Count limit,
                         crandom::Rng &rng, std::size_t largest, bool gated = true,
                         crules::Symbols symbols = crules::Symbols::All)
{
    Measured measured;
    const crules::LineLimit gate{limit, collect, &measured.overLimit};
    crules::Scanner scanner(dialect, gated ? &gate : nullptr, set, symbols);
    for (std::size_t at = 0, size; at < text.size(); at += size) {
        size = std::min(std::uniform_int_distribution<std::size_t>(1, largest)(rng), text.size() - at);
        scanner.feed(text.data() + at, size);
    }
    measured.figures = scanner.finish();
    return measured;
}

// The text read from a file through the text input, which drops CR before LF.
Measured measureFromFile(const std::string &text, crules::Dialect dialect, InstructionSet set, crules::Count limit,
                         crules::Symbols symbols = crules::Symbols::All)
{
    Measured measured;
    FILE *file = std::tmpfile();
    if (file == nullptr || std::fwrite(text.data(), 1, text.size(), file) != text.size() || std::fflush(file) != 0 ||
        lseek(fileno(file), 0, SEEK_SET) != 0)
        return measured;
    const crules::LineLimit gate{limit, collect, &measured.overLimit};
    TextInput input(fileno(file));
    measured.figures = crules::scan(input, dialect, &gate, set, symbols).figures;
    std::fclose(file);
    return measured;
}

// Through a gate that reports no line of fewer than `floor` symbols and
// counts in a census of `size` (none when 0) the lines no marker allows.
struct Census {
    std::vector<crules::Count> lines;
    crules::Count most = 0;
};

Measured measureWithCensus(const std::string &text, crules::Dialect dialect, InstructionSet set, crules::Count limit,
                           crules::Count floor, Census &census)
{
    Measured measured;
    crules::LineCensus counted{.lines = census.lines.data(), .size = static_cast<crules::Count>(census.lines.size())};
    const crules::LineLimit gate{.limit = limit,
                                 .report = collect,
                                 .context = &measured.overLimit,
                                 .floor = floor,
                                 .census = census.lines.empty() ? nullptr : &counted};
    crules::Scanner scanner(dialect, &gate, set);
    scanner.feed(text.data(), text.size());
    measured.figures = scanner.finish();
    census.most = counted.most;
    return measured;
}

// The lines `expected` has over the limit, split as measureWithCensus()
// would: those left in it, and those counted in `census`.
Census splitByCensus(Expected &expected, crules::Count floor, crules::Count size)
{
    Census census{.lines = std::vector<crules::Count>(static_cast<std::size_t>(size))};
    std::erase_if(expected.overLimit, [&](const crules::LineOverLimit &line) {
        if (line.symbols < floor)
            return true;
        if (line.allowed || line.symbols >= size)
            return false;
        census.lines[static_cast<std::size_t>(line.symbols)]++;
        census.most = std::max(census.most, line.symbols);
        return true;
    });
    return census;
}

std::string describe(const crules::Figures &f)
{
    std::ostringstream out;
    out << "lines " << f.lines << ", densest " << f.densestLine << ", symbols " << f.maxSymbols << ", identifiers "
        << f.identifiers << ", code " << f.codeLines << ", comment " << f.commentLines << ", blank " << f.blankLines;
    return out.str();
}

// Each line's number, column in bytes and in characters, symbols and
// whether it is allowed.
std::string describeWithAllowed(const std::vector<crules::LineOverLimit> &lines)
{
    std::ostringstream out;
    for (const crules::LineOverLimit &line : lines)
        out << ' ' << line.line << ':' << line.column << ':' << line.characterColumn << ':' << line.symbols
            << (line.allowed ? ":allowed" : "");
    return out.str();
}

// The hash of each line's symbols.
std::string hashes(const std::vector<crules::LineOverLimit> &lines)
{
    std::ostringstream out;
    out << " hashes" << std::hex;
    for (const crules::LineOverLimit &line : lines)
        out << ' ' << line.textHash;
    return out.str();
}

// What differs between the measured and the expected, "" when nothing does.
std::string differs(const Measured &got, const Expected &expected)
{
    const crules::Figures &a = got.figures;
    const crules::Figures &b = expected.figures;
    if (a.lines != b.lines || a.densestLine != b.densestLine || a.maxSymbols != b.maxSymbols ||
        a.identifiers != b.identifiers || a.codeLines != b.codeLines || a.commentLines != b.commentLines ||
        a.blankLines != b.blankLines || a.codeLines + a.commentLines + a.blankLines != a.lines)
        return describe(a) + "; expected " + describe(b);
    const bool same = std::equal(got.overLimit.begin(), got.overLimit.end(), expected.overLimit.begin(),
                                 expected.overLimit.end(), [](const auto &x, const auto &y) {
                                     return x.line == y.line && x.column == y.column && x.symbols == y.symbols &&
                                            x.allowed == y.allowed && x.characterColumn == y.characterColumn &&
                                            x.textHash == y.textHash;
                                 });
    return same ? ""
                : "over the limit:" + describeWithAllowed(got.overLimit) + hashes(got.overLimit) + "; expected" +
                      describeWithAllowed(expected.overLimit) + hashes(expected.overLimit);
}

std::string escaped(const std::string &text)
{
    std::string out;
    for (const unsigned char c : text) {
        char hex[8];
        std::snprintf(hex, sizeof hex, c >= 0x20 && c < 0x7F && c != '\\' ? "%c" : "\\x%02x", c);
        out += hex;
    }
    return out;
}

struct OracleCase {
    const char *name;
    crules::Dialect dialect;
    unsigned firstSeed;
    int texts;
    int pieces; // per text
    crandom::Mix mix;
};

void PrintTo(const OracleCase &c, std::ostream *os)
{
    *os << c.name;
}

class ClangOracleTest : public testing::TestWithParam<OracleCase> {
protected:
    void SetUp() override
    {
        if (!clangoracle::clangRuns())
            GTEST_SKIP() << "clang is missing: install clang to compare with its lexer";
        char directory[] = "/tmp/cmeasure_oracle_XXXXXX";
        ASSERT_NE(mkdtemp(directory), nullptr);
        directory_ = directory;
    }
    void TearDown() override
    {
        if (!directory_.empty())
            std::system(("rm -rf '" + directory_ + "'").c_str());
    }

    // clang's identifiers in `original`, or -1 when clang cannot be run; the
    // lines its comments allow, into `allowed`, the bytes that count nothing
    // when code alone counts, into `hidden`, and its code and comment lines
    // into `classes`; clang reads the text with its trigraphs broken, which
    // it would otherwise half read.
    long clangIdentifiers(const std::string &original, crules::Dialect dialect, std::set<long> &allowed,
                          std::vector<bool> &hidden, clangoracle::LineClasses &classes) const
    {
        const std::string text = clangoracle::withoutTrigraphs(original);
        const std::string path = directory_ + "/input";
        std::ofstream(path, std::ios::binary) << text;
        const std::string command = std::string("clang -w -fsyntax-only -Xclang -dump-raw-tokens -x ") +
                                    (dialect == crules::Dialect::C ? "c " : "c++ ") + path + " 2>&1";
        FILE *pipe = popen(command.c_str(), "r");
        if (pipe == nullptr)
            return -1;
        std::string dump;
        char block[1 << 14];
        for (std::size_t got; (got = std::fread(block, 1, sizeof block, pipe)) > 0;)
            dump.append(block, got);
        if (pclose(pipe) != 0)
            return -1;
        const std::vector<clangoracle::Token> tokens = clangoracle::parse(dump, path);
        allowed = clangoracle::allowedLines(tokens, text);
        hidden = clangoracle::hiddenBytes(tokens, text, dialect == crules::Dialect::Cpp);
        classes = clangoracle::lineClasses(tokens, text);
        return clangoracle::countIdentifiers(tokens);
    }

    std::string directory_;
};

TEST_P(ClangOracleTest, AgreesWithClangAndTheModel)
{
    const OracleCase &c = GetParam();
    // CMEASURE_ORACLE_TEXTS=N runs N texts instead, for a longer search.
    const char *texts = std::getenv("CMEASURE_ORACLE_TEXTS");
    const unsigned count = texts != nullptr ? static_cast<unsigned>(std::atoi(texts)) : c.texts;
    const unsigned first = testseed::first(c.firstSeed);
    for (unsigned seed = first; seed < first + count; seed++) {
        crandom::Rng rng(seed);
        // A quarter of the texts begin with a byte order mark, which clang skips.
        const std::string text = (seed % 4 == 0 ? "\xef\xbb\xbf" : "") + crandom::text(rng, c.pieces, c.mix);
        // A third of the limits pass most groups' lines, which are then
        // counted whole: the allowances and hashes must go on across them.
        const crules::Count limit = std::uniform_int_distribution<crules::Count>(0, seed % 3 == 0 ? 90 : 12)(rng);
        Expected expected = modelOf(text, limit);
        std::set<long> allowed;
        std::vector<bool> hidden;
        clangoracle::LineClasses classes;
        expected.figures.identifiers = clangIdentifiers(text, c.dialect, allowed, hidden, classes);
        expected.figures.codeLines = classes.code;
        expected.figures.commentLines = classes.comment;
        expected.figures.blankLines = expected.figures.lines - classes.code - classes.comment;
        // The lines' classes are the same when code alone counts.
        Expected code = modelOf(text, limit, &hidden);
        code.figures.identifiers = expected.figures.identifiers;
        code.figures.codeLines = classes.code;
        code.figures.commentLines = classes.comment;
        code.figures.blankLines = expected.figures.blankLines;
        for (Expected *each : {&expected, &code})
            for (crules::LineOverLimit &line : each->overLimit)
                line.allowed = allowed.count(static_cast<long>(line.line)) != 0;
        ASSERT_GE(expected.figures.identifiers, 0) << "clang failed on seed " << seed;
        for (const InstructionSet set : INSTRUCTION_SETS) {
            if (!processorRuns(set))
                continue;
            const std::size_t largest = std::uniform_int_distribution<std::size_t>(1, 300)(rng);
            ASSERT_EQ(differs(measureInPieces(text, c.dialect, set, limit, rng, largest), expected), "")
                << "seed " << seed << ", " << nameOf(set) << ", pieces of at most " << largest << ", text \""
                << escaped(text) << '"';
            Expected figuresAlone = expected;
            figuresAlone.overLimit.clear();
            ASSERT_EQ(differs(measureInPieces(text, c.dialect, set, limit, rng, largest, false), figuresAlone), "")
                << "seed " << seed << ", " << nameOf(set) << ", no gate, pieces of at most " << largest
                << ", text \"" << escaped(text) << '"';
            ASSERT_EQ(differs(measureFromFile(text, c.dialect, set, limit), expected), "")
                << "seed " << seed << ", " << nameOf(set) << ", from a file, text \"" << escaped(text) << '"';
            // The lines below a floor left out, or (every other seed) those
            // of a census's size that no marker allows counted there.
            const crules::Count floor = limit + std::uniform_int_distribution<crules::Count>(0, 40)(rng);
            const crules::Count size = seed % 2 == 0 ? limit + std::uniform_int_distribution<crules::Count>(1, 60)(rng) : 0;
            Expected split = expected;
            const Census census = splitByCensus(split, floor, size);
            Census counted{.lines = std::vector<crules::Count>(static_cast<std::size_t>(size))};
            ASSERT_EQ(differs(measureWithCensus(text, c.dialect, set, limit, floor, counted), split), "")
                << "seed " << seed << ", " << nameOf(set) << ", floor " << floor << ", census of " << size
                << ", text \"" << escaped(text) << '"';
            ASSERT_TRUE(counted.lines == census.lines && counted.most == census.most)
                << "seed " << seed << ", " << nameOf(set) << ", census of " << size << ", text \"" << escaped(text)
                << '"';
            // Code alone counting: the figures and the gate's lines of the
            // characters outside clang's comments and literals, a literal one.
            const crules::Symbols only = crules::Symbols::Code;
            ASSERT_EQ(differs(measureInPieces(text, c.dialect, set, limit, rng, largest, true, only), code), "")
                << "seed " << seed << ", " << nameOf(set) << ", code alone, pieces of at most " << largest
                << ", text \"" << escaped(text) << '"';
            Expected codeAlone = code;
            codeAlone.overLimit.clear();
            ASSERT_EQ(differs(measureInPieces(text, c.dialect, set, limit, rng, largest, false, only), codeAlone), "")
                << "seed " << seed << ", " << nameOf(set) << ", code alone, no gate, pieces of at most " << largest
                << ", text \"" << escaped(text) << '"';
            ASSERT_EQ(differs(measureFromFile(text, c.dialect, set, limit, only), code), "")
                << "seed " << seed << ", " << nameOf(set) << ", code alone, from a file, text \"" << escaped(text)
                << '"';
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Random, ClangOracleTest, testing::Values(
    OracleCase{"C", crules::Dialect::C, 1, 16, 500, crandom::Mix::Any},
    OracleCase{"Cpp", crules::Dialect::Cpp, 100001, 16, 500, crandom::Mix::Any},
    OracleCase{"MostlyCodeC", crules::Dialect::C, 200001, 16, 500, crandom::Mix::MostlyCode},
    OracleCase{"MostlyCodeCpp", crules::Dialect::Cpp, 300001, 16, 500, crandom::Mix::MostlyCode},
    OracleCase{"HeaderLikeC", crules::Dialect::C, 400001, 16, 500, crandom::Mix::HeaderLike}
), [](const testing::TestParamInfo<OracleCase> &info) { return std::string(info.param.name); });

// Files of any bytes, read whole with a gate and fed in large pieces without
// one, so that every byte value meets each set's classifier of C's masks: the
// identifiers as the portable set, which classifies a byte at a time by a
// table, counts them, and the rest as the model has them.
TEST(AnyBytesTest, EverySetMeasuresAsThePortableSetAndTheModel)
{
    const crules::Count limit = 3;
    const unsigned first = testseed::first(1);
    for (unsigned seed = first; seed < first + 40; seed++) {
        randomtext::Rng rng(seed);
        const std::string text = randomtext::anyBytes(rng, 4000);
        Expected expected = modelOf(text, limit);
        const crules::Figures portable = measureFromFile(text, crules::Dialect::C, InstructionSet::Portable, limit).figures;
        expected.figures.identifiers = portable.identifiers;
        expected.figures.codeLines = portable.codeLines;
        expected.figures.commentLines = portable.commentLines;
        expected.figures.blankLines = portable.blankLines;
        Expected figuresAlone = expected;
        figuresAlone.overLimit.clear();
        for (const InstructionSet set : INSTRUCTION_SETS) {
            if (!processorRuns(set))
                continue;
            ASSERT_EQ(differs(measureFromFile(text, crules::Dialect::C, set, limit), expected), "")
                << "seed " << seed << ", " << nameOf(set);
            ASSERT_EQ(differs(measureInPieces(text, crules::Dialect::C, set, limit, rng, text.size(), false),
                              figuresAlone),
                      "")
                << "seed " << seed << ", " << nameOf(set) << ", no gate";
        }
    }
}

} // namespace

namespace {

using crules::Dialect;

struct FiguresCase {
    const char *name;
    std::string text;
    Dialect dialect;
    crules::Figures figures;
};

void PrintTo(const FiguresCase &c, std::ostream *os)
{
    *os << c.name;
}

// The ways a text reaches the scanner: a byte at a time, which only the
// byte lexer reads; whole; and after 1 to 64 spaces, once each, so that a
// boundary between groups of 64 bytes falls before each of its bytes and
// every skipper meets it there. The spaces add nothing but to line 1's
// columns, bytes and characters, which are taken off again; they go after a byte order mark
// that begins the text, which only the input's first bytes may be. What
// `check` finds differs on the first path where it does, named, or "".
template <class Check>
std::string alongEveryPath(const std::string &text, Dialect dialect, const crules::Count *limit, Check check,
                           crules::Symbols symbols = crules::Symbols::All)
{
    const auto measure = [&](int pad, bool byteAtATime) {
        Measured measured;
        const crules::LineLimit gate{limit != nullptr ? *limit : 0, collect, &measured.overLimit};
        crules::Scanner scanner(dialect, limit != nullptr ? &gate : nullptr, symbols);
        const std::size_t mark = text.starts_with("\xef\xbb\xbf") ? 3 : 0;
        const std::string padded =
            text.substr(0, mark) + std::string(static_cast<std::size_t>(pad), ' ') + text.substr(mark);
        for (std::size_t at = 0; at < padded.size(); at += byteAtATime ? 1 : padded.size())
            scanner.feed(padded.data() + at, byteAtATime ? 1 : padded.size());
        measured.figures = scanner.finish();
        for (crules::LineOverLimit &line : measured.overLimit) {
            line.column -= line.line == 1 ? pad : 0;
            line.characterColumn -= line.line == 1 ? pad : 0;
        }
        return measured;
    };
    std::string differs = check(measure(0, true));
    if (!differs.empty())
        return "a byte at a time: " + differs;
    if (!(differs = check(measure(0, false))).empty())
        return "whole: " + differs;
    for (int pad = 1; pad <= 64 && !text.empty(); pad++)
        if (!(differs = check(measure(pad, false))).empty())
            return "after " + std::to_string(pad) + " spaces: " + differs;
    return "";
}

class FiguresTest : public testing::TestWithParam<FiguresCase> {};

// The figures before the lines' classes, which have a table of their own.
std::string counts(crules::Figures f)
{
    f.codeLines = f.commentLines = f.blankLines = 0;
    return describe(f);
}

// Each path, without a gate and under one that no line passes, which
// takes a group a line at a time.
TEST_P(FiguresTest, MeasuresAsCompilersAndEditorsDo)
{
    const FiguresCase &c = GetParam();
    const auto check = [&](const Measured &got) {
        return counts(got.figures) == counts(c.figures) ? "" : counts(got.figures);
    };
    EXPECT_EQ(alongEveryPath(c.text, c.dialect, nullptr, check), "") << "expected " << counts(c.figures);
    const crules::Count none = INT64_MAX;
    EXPECT_EQ(alongEveryPath(c.text, c.dialect, &none, check), "") << "gated; expected " << counts(c.figures);
}

// U+FEFF in UTF-8.
const std::string MARK = "\xef\xbb\xbf";

// lines, densest line, its symbols, identifiers
INSTANTIATE_TEST_SUITE_P(Rules, FiguresTest, testing::ValuesIn(std::vector<FiguresCase>{
    {"EmptyInput", "", Dialect::C, {0, 0, 0, 0}},
    {"OnlyNewline", "\n", Dialect::C, {1, 1, 0, 0}},
    {"LastLineWithoutNewline", "a\nbb", Dialect::C, {2, 2, 2, 2}},
    {"CarriageReturnIsWhiteSpace", "a b\r\nc\r\n", Dialect::C, {2, 1, 2, 3}},
    {"StringEndingInSlash", "x = \"refs/heads/\"; y\n", Dialect::C, {1, 1, 17, 2}},
    {"QuoteInCharacterConstant", "c = '\"'; d\n", Dialect::C, {1, 1, 7, 2}},
    {"PpNumbersHoldNoIdentifier", "0xdeadbeef 10UL 1e+5 .5e-3f 0x1.fp-3\n", Dialect::C, {1, 1, 32, 0}},
    {"HeaderNameHoldsNoIdentifier", "#include <sys/types.h>\n", Dialect::C, {1, 1, 21, 1}},
    {"SpliceJoinsIdentifier", "ab\\ \ncd\n", Dialect::C, {2, 1, 3, 1}},
    {"LineCommentGoesOnOverSplice", "// a\\\nb\nc\n", Dialect::C, {3, 1, 4, 1}},
    {"RawStringInCpp", "R\"x(a \" b)x\" c\n", Dialect::Cpp, {1, 1, 11, 1}},
    {"NoRawStringInC", "R\"x(a \" b)x\" c\n", Dialect::C, {1, 1, 11, 3}},
    {"DigitSeparatorInCpp", "1'000 a\n", Dialect::Cpp, {1, 1, 6, 1}},
    {"NoDigitSeparatorInC", "1'000 a\n", Dialect::C, {1, 1, 6, 0}},
    // Trigraphs are not read: "??/" is no backslash, so it splices nothing.
    {"TrigraphBeforeNewlineJoinsNoLiteral", "R?\?/\n\"\n", Dialect::Cpp, {2, 1, 4, 1}},
    {"NoBreakSpaceSeparates", "a\xc2\xa0" "b\n", Dialect::C, {1, 1, 3, 2}},
    {"InvalidByteSeparates", "a\xff" "b\n", Dialect::C, {1, 1, 3, 2}},
    {"LetterBeyondAsciiContinues", "a\xc3\xa9" "b\n", Dialect::C, {1, 1, 3, 1}},
    {"DollarInIdentifiers", "$a b$\n", Dialect::C, {1, 1, 4, 2}},
    {"StandardSuffixInCpp", "\"a\"s \"a\"sx\n", Dialect::Cpp, {1, 1, 9, 1}},
    {"UnterminatedLiteralEndsWithLine", "\"a b\nc\n", Dialect::C, {2, 1, 3, 1}},
    {"InputEndsInComment", "a /* b", Dialect::C, {1, 1, 4, 1}},
    {"InputEndsInBackslash", "a\\", Dialect::C, {1, 1, 2, 1}},
    // A byte order mark that begins the input is white space; elsewhere, or
    // cut short, its bytes are characters
    {"ByteOrderMarkBeforeADirective", MARK + "#include <stdio.h>\nint main(void);\n", Dialect::C, {2, 1, 17, 4}},
    {"ByteOrderMarkAloneIsABlankLine", MARK, Dialect::C, {1, 1, 0, 0}},
    {"ByteOrderMarkAfterTheFirstIsACharacter", MARK + MARK + "x\n", Dialect::C, {1, 1, 2, 1}},
    {"TwoBytesOfAByteOrderMarkSeparate", "\xef\xbb" "x\n", Dialect::C, {1, 1, 3, 1}},
    // An exponent's sign: after 'p' in any number in C, in a hexadecimal
    // one only in C++ (9p, then + and x)
    {"SignAfterPGoesOnWithAnyNumberInC", "9p+x y\n", Dialect::C, {1, 1, 5, 1}},
    {"SignAfterPGoesOnWithHexNumbersOnlyInCpp", "9p+x y 0x1p-x\n", Dialect::Cpp, {1, 1, 11, 2}},
    {"SignAfterEGoesOnWithAnyNumber", "1e-x y\n", Dialect::Cpp, {1, 1, 5, 1}},
    // An ellipsis is taken before a number: "...0x1p-x" is "..." and a
    // hexadecimal number; "..0x1p-x" is '.', ".0x1p", '-' and x
    {"EllipsisBeforeANumber", "...0x1p-x y\n", Dialect::Cpp, {1, 1, 10, 1}},
    {"PeriodBeforeANumber", "..0x1p-x y\n", Dialect::Cpp, {1, 1, 9, 2}},
    {"EllipsisAndPeriodBeforeANumber", "....0x1p-x y\n", Dialect::Cpp, {1, 1, 11, 2}},
    // Two bytes of a broken sequence, two symbols, before bytes of ASCII
    // alone: across a group's edge, a group of those bytes carries them
    {"BrokenSequenceBeforeAGroupOfAscii", "\xe2\x82" + std::string(70, 'b') + "\nc\n", Dialect::C, {2, 1, 72, 2}},
    // Code told from the masks of a group of 64 bytes, at its edges
    {"DotEndingAGroupMayBeginANumber", std::string(63, ' ') + ".0x1p-e\n", Dialect::Cpp, {1, 1, 7, 1}},
    {"IdentifierAcrossTwoGroups", std::string(60, ' ') + "abcdefgh j\n", Dialect::C, {1, 1, 9, 2}},
    {"NumberAcrossTwoGroupsGoesOnAfterDot", std::string(62, ' ') + "1.e5 x\n", Dialect::C, {1, 1, 5, 1}},
    {"WordAfterNumberAndDotIsNumber", "1.x y" + std::string(64, ' ') + "\n", Dialect::C, {1, 1, 4, 1}},
    {"WordAfterExponentSignIsNumber", "1e+x y" + std::string(64, ' ') + "\n", Dialect::C, {1, 1, 5, 1}},
    {"LetterBeyondAsciiOnlyInAGroupsUpperHalf", std::string(62, 'a') + "\xc3\xa9\n", Dialect::C, {1, 1, 63, 1}},
    // What a group of header text at once leaves to the full lexer
    {"LineCommentGoesOnOverSpliceWithSpace", "// a\\ \nb" + std::string(64, ' ') + "\n", Dialect::C, {2, 1, 4, 0}},
    {"SpliceBetweenHashAndInclude", "#\\\ninclude <a/b.h>" + std::string(64, ' ') + "\n", Dialect::C, {2, 2, 14, 1}},
    {"CommentBetweenHashAndInclude", "#/**/include <a/b.h>" + std::string(64, ' ') + "\n", Dialect::C, {1, 1, 19, 1}},
    {"SpliceInsideInclude", "#i\\\nnclude <a/b.h>" + std::string(64, ' ') + "\n", Dialect::C, {2, 2, 13, 1}},
    {"IncludeNameFromAGroupsLastByte", std::string(62, ' ') + "#include <a/b.h>\n", Dialect::C, {1, 1, 15, 1}},
    {"IncludeAfterLineCommentEndingAGroup", "a //" + std::string(59, 'c') + "\n#include <a/b.h>\n", Dialect::C,
     {2, 1, 62, 2}},
    {"IncludeAfterUnterminatedLiteralEndingAGroup", "\"" + std::string(62, 'b') + "\n#include <a/b.h>\n", Dialect::C,
     {2, 1, 63, 1}},
    {"IncludeAfterAGroupOfSpaces", "a\n" + std::string(126, ' ') + "#include <a/b.h>\n", Dialect::C, {2, 2, 15, 2}},
    {"NoDirectiveAfterSlashEndingAGroup", "a\n" + std::string(60, ' ') + "/ #include <a/b.h>\n", Dialect::C,
     {2, 2, 16, 5}},
    {"NoDirectiveAfterLiteralEndingAGroup", "a\n" + std::string(56, ' ') + "\"abc\" #include <a/b.h>\n", Dialect::C,
     {2, 2, 20, 5}},
    {"NoDirectiveAtHashEndingAGroupAfterCode", std::string(61, ' ') + "a #include <a/b.h>" + std::string(64, ' ') + "\n",
     Dialect::C, {1, 1, 16, 5}},
    {"ByteOrderMarkBeforeADirectiveEndingAGroup", MARK + std::string(60, ' ') + "#include <a/b.h>" + std::string(64, ' ') +
     "\n", Dialect::C, {1, 1, 15, 1}},
    {"DirectiveAtHashEndingAGroup", std::string(63, ' ') + "#include <a/b.h>" + std::string(64, ' ') + "\n", Dialect::C,
     {1, 1, 15, 1}},
    {"SlashEndingAGroupIsAToken", "a\n" + std::string(61, ' ') + "/" + std::string(63, ' ') + "#include <a/b.h>\n",
     Dialect::C, {2, 2, 16, 5}},
    {"StarEndingAGroupEndsCommentWithNextSlash", "/*" + std::string(61, ' ') + "*/* b */ a" + std::string(64, ' ') + "\n",
     Dialect::C, {1, 1, 9, 2}},
    {"ExponentEndingAGroupTakesSign", std::string(62, ' ') + "1e+x y" + std::string(64, ' ') + "\n", Dialect::C,
     {1, 1, 5, 1}},
    {"IdentifierFillingAGroup", std::string(150, 'x') + " y\n", Dialect::C, {1, 1, 151, 2}},
    {"SpliceBetweenStarAndSlashEndsComment", "/* a *\\\n/ b" + std::string(64, ' ') + "\n", Dialect::C, {2, 1, 5, 1}},
    {"SpliceBetweenSlashAndStarOpensComment", "a /\\\n* b */ c" + std::string(64, ' ') + "\n", Dialect::C,
     {2, 2, 5, 2}},
    {"SpliceAfterIdentifierJoinsIt", "ab\\\ncd" + std::string(64, ' ') + "\n", Dialect::C, {2, 1, 3, 1}},
    {"DirectiveAfterPlainCode", "int a = b + c;\n#include <sys/t.h>" + std::string(64, ' ') + "\n", Dialect::C,
     {2, 2, 17, 5}},
}), [](const auto &info) { return std::string(info.param.name); });

class CodeFiguresTest : public testing::TestWithParam<FiguresCase> {};

// Code alone counting, along each path, gated or not.
TEST_P(CodeFiguresTest, CountsNothingOfACommentAndOneOfALiteral)
{
    const FiguresCase &c = GetParam();
    const auto check = [&](const Measured &got) {
        return counts(got.figures) == counts(c.figures) ? "" : counts(got.figures);
    };
    const crules::Symbols code = crules::Symbols::Code;
    EXPECT_EQ(alongEveryPath(c.text, c.dialect, nullptr, check, code), "") << "expected " << counts(c.figures);
    const crules::Count none = INT64_MAX;
    EXPECT_EQ(alongEveryPath(c.text, c.dialect, &none, check, code), "") << "gated; expected " << counts(c.figures);
}

// lines, densest line, its symbols, identifiers
INSTANTIATE_TEST_SUITE_P(CodeAlone, CodeFiguresTest, testing::ValuesIn(std::vector<FiguresCase>{
    {"CommentCountsNothing", "a = b; // a note\n/* x */\n", Dialect::C, {2, 1, 4, 2}},
    {"BlockCommentOverLines", "a /*\n b\n*/ c\n", Dialect::C, {3, 1, 1, 2}},
    {"LiteralCountsOne", "usage(\"a very long text\");\n", Dialect::C, {1, 1, 9, 1}},
    {"CharacterConstantCountsOne", "c = '\\n';\n", Dialect::C, {1, 1, 4, 1}},
    {"EmptyCharacterConstantCountsOne", "c = '';\n", Dialect::C, {1, 1, 4, 1}},
    {"UnterminatedLiteralCountsOne", "\"a b\nc\n", Dialect::C, {2, 1, 1, 1}},
    {"CommentInALiteralIsItsText", "\"/* a */\" b // c\n", Dialect::C, {1, 1, 2, 1}},
    {"CharactersBeyondAsciiInCommentAndLiteral", "x /* \xc3\xa9 */ \"\xc3\xa9\"\n", Dialect::C, {1, 1, 2, 1}},
    {"PrefixedLiteralsCountOne", "u8\"abc\" L'x' LR\"(a)\"\n", Dialect::Cpp, {1, 1, 3, 0}},
    {"LiteralOverASpliceCountsOnItsFirstLine", "s = \"ab\\\ncd\";\n", Dialect::C, {2, 1, 3, 1}},
    {"RawStringOverLinesCountsOnItsFirstLine", "x = R\"(a\nb\nc)\";\n", Dialect::Cpp, {3, 1, 3, 1}},
    {"StandardAndUserSuffixesCountWithTheirLiteral", "\"a\"sv + 'b'_x\n", Dialect::Cpp, {1, 1, 3, 0}},
    {"BadRawDelimiterGivesItsLastBytesBack", "R\"ab\"cd e\n", Dialect::Cpp, {1, 1, 4, 2}},
    {"CharacterConstantAfterANumber", "1'+' x\n", Dialect::Cpp, {1, 1, 3, 1}},
    {"TrigraphBeforeNewlineOpensNoComment", "a /?\?/\n/ b\n", Dialect::C, {2, 1, 5, 2}},
    // What a splice cuts off before the lexer knows it is a comment's or a
    // literal's stays code on its line
    {"SlashBeforeASpliceStaysCode", "a /\\\n* b */ c\n", Dialect::C, {2, 1, 3, 2}},
    {"PrefixBeforeASpliceStaysCode", "u\\\n8\"x\"\n", Dialect::C, {2, 1, 2, 0}},
    // A comment's opener or a literal's prefix across a group's edge
    {"CommentOpenerEndingAGroup", std::string(63, ' ') + "/* a */ b\n", Dialect::C, {1, 1, 1, 1}},
    {"PrefixEndingAGroup", std::string(62, ' ') + "u8\"x\" b\n", Dialect::C, {1, 1, 2, 1}},
    {"SuffixEndingAGroup", std::string(59, ' ') + "\"x\"min + b\n", Dialect::Cpp, {1, 1, 3, 1}},
}), [](const auto &info) { return std::string(info.param.name); });

std::string times(const std::string &line, int count)
{
    std::string text;
    for (int k = 0; k < count; k++)
        text += line;
    return text;
}

struct GateCase {
    const char *name;
    std::string text;
    crules::Count limit;
    std::vector<crules::LineOverLimit> over;
};

void PrintTo(const GateCase &c, std::ostream *os)
{
    *os << c.name;
}

// The lines over the limit along every path where they differ from the
// case's, or "" where none does.
std::string overLimitDiffers(const GateCase &c, crules::Symbols symbols)
{
    const auto check = [&](const Measured &got) {
        return describeWithAllowed(got.overLimit) == describeWithAllowed(c.over) ? ""
                                                                                 : describeWithAllowed(got.overLimit);
    };
    return alongEveryPath(c.text, Dialect::C, &c.limit, check, symbols);
}

// A line over the limit whose column is the same in bytes and characters,
// reported, or allowed by a marker.
crules::LineOverLimit over(crules::Count line, crules::Count symbols, crules::Count column)
{
    return {line, symbols, column, false, column};
}

crules::LineOverLimit allowed(crules::Count line, crules::Count symbols, crules::Count column)
{
    return {line, symbols, column, true, column};
}

class GateTest : public testing::TestWithParam<GateCase> {};

TEST_P(GateTest, ReportsEachLineOverTheLimit)
{
    EXPECT_EQ(overLimitDiffers(GetParam(), crules::Symbols::All), "")
        << "expected" << describeWithAllowed(GetParam().over);
}

const std::string X400(400, 'x');

// over() and allowed(): line, symbols, column of the symbol past the limit;
// where its columns in bytes and characters differ, line, symbols, column
// in bytes, allowed, column in characters
INSTANTIATE_TEST_SUITE_P(Gate, GateTest, testing::ValuesIn(std::vector<GateCase>{
    {"LimitOneBelowTheLine", "abc\n", 2, {over(1, 3, 3)}},
    {"LimitEqualToTheLine", "abc\n", 3, {}},
    {"LimitZero", "\n a\n", 0, {over(2, 1, 2)}},
    {"ColumnCountsBytesAndCharacters", "\xc3\xa9 \xc3\xa9 x\n", 2, {{1, 3, 7, false, 5}}},
    {"BrokenUtf8BytesOneCharacterEach", "\xe2\x82\xff \xf0\x9f\x98\x80x\n", 4, {{1, 5, 9, false, 6}}},
    {"BrokenSequenceBeforeAGroupOfAscii", "\xe2\x82" + std::string(70, 'b') + "\n", 71, {over(1, 72, 72)}},
    {"TabsAreNoSymbols", "\tab\n", 1, {over(1, 2, 3)}},
    {"LimitAbove359", X400 + "\n", 360, {over(1, 400, 361)}},
    {"LargestLimit", X400, INT64_MAX, {}},
    {"SeveralLinesInOrder", "ab\nc\nde", 1, {over(1, 2, 2), over(3, 2, 2)}},
    {"AllowedByLineComment", "int a; // cmeasure: allow\n", 0, {allowed(1, 21, 1)}},
    {"NotAllowedByString", "s = \"cmeasure: allow\";\n", 0, {over(1, 19, 1)}},
    {"AllowedOnTheCommentsLine", "/*\ncmeasure: allow */\n", 0, {over(1, 2, 1), allowed(2, 16, 1)}},
    {"ByteOrderMarkKeepsItsByteColumnsAndTakesNoCharacter", MARK + "abc\n", 2, {{1, 3, 6, false, 3}}},
    {"NextLineAllowsTheNextOnly", "a; // cmeasure: allow-next-line\nbb\ncc\n", 0,
     {over(1, 28, 1), allowed(2, 2, 1), over(3, 2, 1)}},
    {"NextLineInAStringIsNoMarker", "s = \"cmeasure: allow-next-line\";\nb\n", 0, {over(1, 29, 1), over(2, 1, 1)}},
    {"OwnAndNextLineMarkersBoth", "x /* cmeasure: allow */ // cmeasure: allow-next-line\ny\nz\n", 0,
     {allowed(1, 45, 1), allowed(2, 1, 1), over(3, 1, 1)}},
    {"OffToOnBothIncluded", "/* cmeasure: off */ x\ny\nz /* cmeasure: on */\nw\n", 0,
     {allowed(1, 17, 1), allowed(2, 1, 1), allowed(3, 16, 1), over(4, 1, 1)}},
    {"OffWithoutOnToTheEnd", "a\n// cmeasure: off\nb\nc", 0,
     {over(1, 1, 1), allowed(2, 14, 1), allowed(3, 1, 1), allowed(4, 1, 1)}},
    {"OnWithoutOffNothing", "x // cmeasure: on\ny\n", 0, {over(1, 14, 1), over(2, 1, 1)}},
    {"OffInAStringIsNoMarker", "s = \"cmeasure: off\";\ny\n", 0, {over(1, 17, 1), over(2, 1, 1)}},
    // Groups whose lines all stay within the limit are counted whole: what
    // a marker allows goes on across them
    {"NextLineMarkerEndingInAGroupWithinTheLimit",
     "// cmeasure: allow-next-line" + std::string(40, ' ') + "\na\nbbb" + std::string(54, ' ') + std::string(30, 'b') + "\n",
     30, {over(3, 33, 85)}},
    {"OffAcrossGroupsWithinTheLimit", "/* cmeasure: off */\n" + times("a\n", 100) + "bbbbbbbb\n", 5,
     {allowed(1, 16, 7), allowed(102, 8, 6)}},
    // A group is lexed whole unless a marker may be read in it: whatever
    // part of one a group edge leaves on either side is found
    {"MarkerBegunAtAGroupsLastByte", "/*" + std::string(60, 'p') + " cmeasure: allow */\n", 0, {allowed(1, 78, 1)}},
    {"MarkerWhoseColonBeginsAGroup", "/*" + std::string(53, 'p') + " cmeasure: allow */\n", 0, {allowed(1, 71, 1)}},
    {"MarkerCutAfterItsFourthByte", "/*" + std::string(57, 'p') + " cmeasure: allow */\n", 0, {allowed(1, 75, 1)}},
    {"MarkerWhoseColonEndsAGroup", "/*" + std::string(52, 'p') + " cmeasure: allow */\n", 0, {allowed(1, 70, 1)}},
    {"MarkerCutByAGroupEdgeInCrlfText", "a;\r\n/*" + std::string(54, 'p') + " cmeasure: allow */\r\n", 0,
     {over(1, 2, 1), allowed(2, 72, 1)}},
    // A line carried over the limit from the group before, then one that
    // passes it within the group, and one at the limit
    {"LinesOverTheLimitCarriedAndWithinAGroup", std::string(70, 'x') + "\nabcde\nabcd\n", 4,
     {over(1, 70, 5), over(2, 5, 5)}},
    {"MarkerWhoseSpaceFollowsASplice", "// cmeasure:\\\n allow " + std::string(60, 'x') + "\n", 0,
     {over(1, 12, 1), allowed(2, 65, 2)}},
    {"MarkerThroughASpliceAcrossAGroupEdge",
     "/*" + std::string(30, 'p') + "*/ // cmeas\\" + std::string(30, ' ') + "\nure: allow\n", 0,
     {over(1, 42, 1), allowed(2, 9, 1)}},
    {"MarkerWhoseColonFollowsASplice", "// cmeasure\\\n: allow " + std::string(60, 'x') + "\n", 0,
     {over(1, 11, 1), allowed(2, 66, 1)}},
    {"MarkerWhoseCBeginsAGroupOfSpliceBytes",
     "/*" + std::string(57, 'p') + "*/ //cmeas\\" + std::string(57, ' ') + "\nure: allow\n", 0,
     {over(1, 69, 1), allowed(2, 9, 1)}},
}), [](const auto &info) { return std::string(info.param.name); });

class CodeGateTest : public testing::TestWithParam<GateCase> {};

TEST_P(CodeGateTest, ReportsEachLineOverTheLimitInCode)
{
    EXPECT_EQ(overLimitDiffers(GetParam(), crules::Symbols::Code), "")
        << "expected" << describeWithAllowed(GetParam().over);
}

// line, symbols, column of the symbol past the limit (a literal's at its
// first byte)
INSTANTIATE_TEST_SUITE_P(CodeAlone, CodeGateTest, testing::ValuesIn(std::vector<GateCase>{
    {"FirstSymbolAfterAComment", "/* note */ x = 1;\n", 0, {over(1, 4, 12)}},
    {"LiteralPassesTheLimit", "f(\"abc\", 1);\n", 2, {over(1, 7, 3)}},
    {"SymbolAfterALiteralPassesTheLimit", "f(\"abc\", 1);\n", 3, {over(1, 7, 8)}},
    {"LimitEqualToTheCode", "f(\"abc\", 1);\n", 7, {}},
    {"CommentLineIsNoLineOverZero", "// cmeasure: allow-next-line\nab\n", 0, {allowed(2, 2, 1)}},
}), [](const auto &info) { return std::string(info.param.name); });

} // namespace

namespace {

using crules::Dialect;

// A file in two halves against the scan of it whole: the first half's scan
// meets the second's at once, a few pieces on, or never, and the densest
// line lies in either half, or in both.
struct HalvesCase {
    const char *name;
    std::string (*text)(); // made when the case runs: every test's process builds the table
    Dialect dialect = Dialect::C;
    crules::Symbols symbols = crules::Symbols::All;
    bool oneProcessor = false; // else on all the caller may run on
};

void PrintTo(const HalvesCase &c, std::ostream *os)
{
    *os << c.name;
}

// The processors the calling thread may run on; the lowest alone if `lowest`.
cpu_set_t processorsOfThisThread(bool lowest)
{
    cpu_set_t processors;
    CPU_ZERO(&processors);
    sched_getaffinity(0, sizeof processors, &processors);
    for (int k = 0, kept = 0; lowest && k < CPU_SETSIZE; k++)
        if (CPU_ISSET(k, &processors) && kept++ > 0)
            CPU_CLR(k, &processors);
    return processors;
}

class ScanInTwoTest : public testing::TestWithParam<HalvesCase> {};

// The second half's thread is made on the processors but its creator's, or
// anywhere when there is no other: the caller keeps its own either way.
TEST_P(ScanInTwoTest, GivesTheFiguresOfTheWholeScan)
{
    const HalvesCase &c = GetParam();
    const std::string text = c.text();
    FILE *file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), file), text.size());
    ASSERT_EQ(std::fflush(file), 0);
    const cpu_set_t all = processorsOfThisThread(false);
    const cpu_set_t allowed = processorsOfThisThread(c.oneProcessor);
    ASSERT_EQ(sched_setaffinity(0, sizeof allowed, &allowed), 0);
    const crules::Result halves =
        crules::scanInTwo(fileno(file), static_cast<off_t>(text.size()), c.dialect, c.symbols);
    const cpu_set_t after = processorsOfThisThread(false);
    sched_setaffinity(0, sizeof all, &all);
    EXPECT_TRUE(CPU_EQUAL(&after, &allowed));
    ASSERT_EQ(lseek(fileno(file), 0, SEEK_SET), 0);
    TextInput input(fileno(file));
    const crules::Result whole = crules::scan(input, c.dialect, nullptr, c.symbols);
    std::fclose(file);
    EXPECT_EQ(halves.error, 0);
    EXPECT_EQ(describe(halves.figures), describe(whole.figures));
}

// Plain code mostly, or any pieces: of those, fewer, since many of them are
// read a byte at a time, slowly under the sanitizers.
std::string randomText(unsigned seed, bool mostlyCode)
{
    crandom::Rng rng(testseed::seedOr(seed));
    return crandom::text(rng, mostlyCode ? 400000 : 100000, mostlyCode ? crandom::Mix::MostlyCode : crandom::Mix::Any);
}

const std::string LINE = "int f(void); /* a */\n"; // 21 bytes
const std::string LONGER = "int g(int a, int b, int c);\n";
const std::string COMMENT = " * a line of a comment\n";
const std::string WORDY = " * a line of a comment denser than any line of code\n";
const crules::Symbols CODE = crules::Symbols::Code;

INSTANTIATE_TEST_SUITE_P(Halves, ScanInTwoTest, testing::ValuesIn(std::vector<HalvesCase>{
    {"RandomCode", [] { return randomText(1, true); }},
    {"RandomCodeInCpp", [] { return randomText(2, true); }, Dialect::Cpp},
    {"RandomPieces", [] { return randomText(3, false); }},
    {"RandomPiecesInCpp", [] { return randomText(4, false); }, Dialect::Cpp},
    {"EqualLinesTheFirstDensest", [] { return times(LINE, 40000); }},
    {"DensestInTheSecondHalf", [] { return times(LINE, 30000) + LONGER + times(LINE, 5000); }},
    {"DensestInTheSecondHalfOnOneProcessor", [] { return times(LINE, 30000) + LONGER + times(LINE, 5000); },
     Dialect::C, crules::Symbols::All, true},
    {"DensestInTheFirstHalfAgainInTheSecond",
     [] { return LONGER + times(LINE, 30000) + LONGER + times(LINE, 5000); }},
    {"CommentOverTheMiddleEndingPiecesLater",
     [] { return times(LINE, 20000) + "/*\n" + times(COMMENT, 12000) + "*/\n" + times(LINE, 15000); }},
    {"CommentOverAllSixteenCheckpoints",
     [] { return times(LINE, 20000) + "/*\n" + times(COMMENT, 100000) + "*/\n" + LONGER; }},
    {"LastLineLongerThanHalfTheFile", [] { return times(LINE, 5000) + std::string(200000, 'x'); }},
    {"NoNewlineAtTheEnd", [] { return times(LINE, 40000) + "int last"; }},
    {"ByteOrderMarkBeforeADirective", [] { return "\xef\xbb\xbf#include <a b.h>\n" + times(LINE, 40000); }},
    // Code alone counting, the second half's scan counts the lines of a
    // comment it begins in as code until it meets the first's
    {"CodeAloneCommentOverTheMiddle",
     [] { return times(LINE, 20000) + "/*\n" + times(WORDY, 6000) + "*/\n" + times(LINE, 15000); }, Dialect::C, CODE},
    {"CodeAloneDensestInTheSecondHalf",
     [] { return times(LINE, 20000) + "/*\n" + times(WORDY, 6000) + "*/\n" + LONGER + times(LINE, 9000); },
     Dialect::C, CODE},
    {"CodeAloneRandomPieces", [] { return randomText(5, false); }, Dialect::C, CODE},
    {"CodeAloneRandomPiecesInCpp", [] { return randomText(6, false); }, Dialect::Cpp, CODE},
}), [](const auto &info) { return std::string(info.param.name); });

} // namespace

namespace {

struct ClassesCase {
    const char *name;
    std::string text;
    crules::Dialect dialect;
    crules::Count code;
    crules::Count comment;
    crules::Count blank;
};

void PrintTo(const ClassesCase &c, std::ostream *os)
{
    *os << c.name;
}

class LineClassesTest : public testing::TestWithParam<ClassesCase> {};

// Each path, without a gate and under one, all symbols counting and code
// alone, as the figures' table.
TEST_P(LineClassesTest, TellsCodeCommentAndBlankLinesApart)
{
    const ClassesCase &c = GetParam();
    const auto check = [&](const Measured &got) {
        const crules::Figures &f = got.figures;
        const bool same = f.codeLines == c.code && f.commentLines == c.comment && f.blankLines == c.blank &&
                          f.codeLines + f.commentLines + f.blankLines == f.lines;
        return same ? "" : describe(f);
    };
    EXPECT_EQ(alongEveryPath(c.text, c.dialect, nullptr, check), "");
    const crules::Count none = INT64_MAX;
    EXPECT_EQ(alongEveryPath(c.text, c.dialect, &none, check), "") << "gated";
    // The classes are the lines', whatever symbols count.
    EXPECT_EQ(alongEveryPath(c.text, c.dialect, nullptr, check, crules::Symbols::Code), "") << "code alone";
    EXPECT_EQ(alongEveryPath(c.text, c.dialect, &none, check, crules::Symbols::Code), "") << "code alone, gated";
}

// code, comment, blank
INSTANTIATE_TEST_SUITE_P(Rules, LineClassesTest, testing::ValuesIn(std::vector<ClassesCase>{
    {"EmptyInput", "", crules::Dialect::C, 0, 0, 0},
    {"WhiteSpaceLinesAreBlank", "a\n\n  \n\t\f\v\r\n", crules::Dialect::C, 1, 0, 3},
    {"CommentsAlone", "// x\n/* y */\n", crules::Dialect::C, 0, 2, 0},
    {"CodeAfterCommentIsCode", "/* c */ x\n", crules::Dialect::C, 1, 0, 0},
    {"CodeBeforeLineCommentIsCode", "x; // c\n", crules::Dialect::C, 1, 0, 0},
    {"BlankLinesInsideBlockComment", "/* a\n\n   \n b */\n", crules::Dialect::C, 0, 2, 2},
    {"CommentDelimitersAlone", "/*\n*/\n", crules::Dialect::C, 0, 2, 0},
    {"CommentOpenerInStringIsCode", "s = \"/*\";\nx\n", crules::Dialect::C, 2, 0, 0},
    {"LineCommentOverSpliceIsComment", "// a \\\nb\n", crules::Dialect::C, 0, 2, 0},
    {"BackslashAloneBetweenTokensIsBlank", "#define A \\\n\\\n 1\n", crules::Dialect::C, 2, 0, 1},
    {"BackslashAloneInCommentIsBlank", "/* a \\\n \\\n b */\n", crules::Dialect::C, 0, 2, 1},
    {"SpliceAfterCommentLeavesCommentLine", "/* x */ \\\nint y;\n", crules::Dialect::C, 1, 1, 0},
    {"SpliceThenCarriageReturn", "/* x */ \\\r\n", crules::Dialect::C, 0, 1, 0},
    {"LoneCarriageReturnSpliceBeforeCommentIsCode", "\\\r// c\n/* d */ \\\r/* e */\n", crules::Dialect::C, 2, 0, 0},
    {"StringOverSpliceIsCode", "s = \"a\\\nb\";\n", crules::Dialect::C, 2, 0, 0},
    {"BackslashBeforeNulIsCode", std::string("\\\0\n", 3), crules::Dialect::C, 1, 0, 0},
    {"BackslashEndingInputIsCode", "x\n\\", crules::Dialect::C, 2, 0, 0},
    {"SplicedOpenersSlashIsCode", "/\\\n* c */\n", crules::Dialect::C, 1, 1, 0},
    {"SpliceBetweenStarAndSlashClosesComment", "/* c *\\\n/ x\n", crules::Dialect::C, 1, 1, 0},
    {"RawStringLinesAreCode", "R\"(\n\n  \n)\"\n", crules::Dialect::Cpp, 4, 0, 0},
    {"RawStringAsCIsNot", "R\"(\n\n)\"\n", crules::Dialect::C, 2, 0, 1},
    {"ByteOrderMarkAloneIsBlank", "\xef\xbb\xbf\n", crules::Dialect::C, 0, 0, 1},
    {"NoBreakSpaceIsCode", "\xc2\xa0\n", crules::Dialect::C, 1, 0, 0},
    {"CommentInUtf8", "// \xc3\xa9\n\xc3\xa9\n", crules::Dialect::C, 1, 1, 0},
    {"CarriageReturnLineEnds", "x\r\n\r\n// c\r\n", crules::Dialect::C, 1, 1, 1},
    {"SlashBeforeLineEndIsCode", "a /\n/ b\n", crules::Dialect::C, 2, 0, 0},
}), [](const testing::TestParamInfo<ClassesCase> &info) { return std::string(info.param.name); });

} // namespace


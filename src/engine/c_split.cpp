// A large file under C's rules in two halves side by side. The lexer's and
// the lines' state at a byte decide all that follows it, the counters
// aside (and the lines' counts only when code alone counts), so the second half's scan, begun at a line start in the state a
// file begins in, is right from the first of its states that the first
// half's scan, going on into the second half, meets at the same byte.
#include "c_rules.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <pthread.h>
#include <sched.h>
#include <string_view>
#include <unistd.h>

#include "entry_points.h"
#include "text_input.h"

namespace crules {

namespace {

// The second half's states before each of its first 16 pieces (a MiB of
// text): a comment or a directive that the split falls into ends within
// them, unless it is longer.
constexpr int CHECKPOINTS = 16;

// Where the second half of `whole` begins: after the first LF at or after
// its middle, found within 64 KiB; 0 when there is none.
off_t secondHalfOf(int fd, FileSpan whole)
{
    std::array<char, 1 << 16> bytes{};
    const off_t end = whole.offset + whole.length;
    const off_t middle = whole.offset + whole.length / 2;
    ssize_t got = 0;
    while ((got = pread(fd, bytes.data(), bytes.size(), middle)) < 0 && errno == EINTR) {
    }
    const void *lf = got > 0 ? std::memchr(bytes.data(), '\n', static_cast<std::size_t>(got)) : nullptr;
    if (lf == nullptr)
        return 0;
    const off_t after = middle + (static_cast<const char *>(lf) - bytes.data()) + 1;
    return after < end ? after : 0;
}

// What decides how the bytes ahead are read, when nothing is held back and
// the lexer is between tokens, in an identifier or in a comment: its fields
// of code, the identifier's name so far, what a comment has matched, and
// the line so far. The rest (a number's first bytes, a quote, a raw
// string's delimiter) is set afresh when its token begins, and the counters
// only add up. Empty in other modes, where there is more to compare than
// is worth it.
std::optional<State> settledCourse(const State &state)
{
    const LexState &lex = state.lex;
    const bool settled = lex.mode == Mode::Code || lex.mode == Mode::Identifier || lex.mode == Mode::LineComment ||
                         lex.mode == Mode::BlockComment || lex.mode == Mode::BlockStar;
    if (!settled || lex.heldReturns != 0 || lex.splice != Splice::None || lex.utf8.have != 0 ||
        lex.angle != Angle::Off || state.lines.utf8.have != 0)
        return std::nullopt;
    State course;
    course.lex.cpp = lex.cpp;
    course.lex.codeOnly = lex.codeOnly;
    course.lex.mode = lex.mode;
    course.lex.afterSplice = lex.afterSplice;
    course.lex.startOfLine = lex.startOfLine;
    course.lex.directive = lex.directive;
    if (lex.mode == Mode::Identifier) {
        course.lex.suffixCandidate = lex.suffixCandidate;
        course.lex.nameLength = lex.nameLength;
        course.lex.nameLineStart = lex.nameLineStart;
        std::copy_n(lex.name, std::min<int>(lex.nameLength, NAME_BUFFER), course.lex.name);
    } else if (lex.mode != Mode::Code) {
        course.lex.allowMatched = lex.allowMatched;
        course.lex.allowHeld = lex.allowHeld;
    }
    course.lines.symbols = state.lines.symbols;
    course.lines.column = state.lines.column;
    course.lines.allowed = state.lines.allowed;
    course.lines.codeBytes = state.lines.codeBytes;
    course.lines.commentBytes = state.lines.commentBytes;
    course.lines.lastBackslash = state.lines.lastBackslash;
    return course;
}

// The processors the calling thread may run on, and those of them but
// `cpu`; false when there is no other.
bool processorsBut(int cpu, cpu_set_t &allowed, cpu_set_t &others)
{
    if (cpu < 0 || cpu >= CPU_SETSIZE || sched_getaffinity(0, sizeof allowed, &allowed) != 0 ||
        !CPU_ISSET(cpu, &allowed) || CPU_COUNT(&allowed) < 2)
        return false;
    others = allowed;
    CPU_CLR(cpu, &others);
    return true;
}

// One half's scan: its state and its own input.
struct Half {
    Half(int fd, FileSpan span, Dialect dialect, InstructionSet set, Symbols symbols)
        : input(std::make_unique<TextInput>(-1)), points(dispatch::entryPointsOf(set)), mark(span.offset == 0)
    {
        input->reopenAt(fd, span);
        state.lex.cpp = dialect == Dialect::Cpp;
        state.lex.codeOnly = symbols == Symbols::Code;
    }

    // Feeds the next piece; false at the end of the input.
    bool feedPiece()
    {
        const std::string_view piece = input->unread();
        mark.feed(points.feedC, state, reinterpret_cast<const unsigned char *>(piece.data()), piece.size());
        input->skip(piece.size());
        fed += static_cast<off_t>(piece.size());
        return !piece.empty();
    }

    std::unique_ptr<TextInput> input;
    const EntryPoints &points;
    LeadingMark mark;
    State state;
    off_t fed = 0; // bytes delivered
};

// A state of the second half's scan, at `fed` bytes into it.
struct Checkpoint {
    State state;
    off_t fed = 0;
};

// The second half, scanned on its own thread.
class SecondHalf {
public:
    SecondHalf(int fd, FileSpan span, Dialect dialect, InstructionSet set, Symbols symbols)
        : half_(fd, span, dialect, set, symbols)
    {
    }

    // Scans the second half; first lets the thread run on `allowed`, when
    // it was started on fewer.
    void run(const cpu_set_t *allowed)
    {
        if (allowed != nullptr)
            sched_setaffinity(0, sizeof *allowed, allowed);
        int recorded = 0;
        do {
            if (recorded < CHECKPOINTS) {
                points_[recorded] = {half_.state, half_.fed};
                // Each checkpoint holds the densest of the lines since the
                // one before it: what the first half's scan reads again
                // (its lines, when code alone counts) is left out.
                half_.state.lines.maxSymbols = 0;
                half_.state.lines.densestLine = 0;
                publish(2 * ++recorded);
            }
        } while (!abandoned_.load(std::memory_order_relaxed) && half_.feedPiece());
        half_.points.finishC(half_.state);
        publish(2 * recorded + 1);
    }

    // Checkpoint k, once recorded; null when the scan ended before it.
    const Checkpoint *checkpoint(int k)
    {
        for (int p = progress_.load(std::memory_order_acquire);; p = progress_.load(std::memory_order_acquire)) {
            if (p / 2 > k)
                return &points_[static_cast<std::size_t>(k)];
            if (p % 2 == 1)
                return nullptr;
            progress_.wait(p, std::memory_order_acquire);
        }
    }

    void abandon() { abandoned_.store(true, std::memory_order_relaxed); }

    // Once the thread has ended: the figures of the whole, from those of the
    // first half's scan when it reached checkpoint k. The densest line the
    // second half's scan found after it, if denser than the first's, is the
    // file's. The lines' classes follow the lexer, so they are summed as the
    // identifiers are.
    Result joined(const Figures &first, int k) const
    {
        const Checkpoint &there = points_[static_cast<std::size_t>(k)];
        const Figures rest = figuresOf(half_.state);
        const int recorded = progress_.load(std::memory_order_acquire) / 2;
        LineState after;
        const auto take = [&after](const LineState &lines) {
            if (lines.densestLine != 0 && (after.densestLine == 0 || lines.maxSymbols > after.maxSymbols)) {
                after.maxSymbols = lines.maxSymbols;
                after.densestLine = lines.densestLine;
            }
        };
        for (int j = k + 1; j < recorded; j++)
            take(points_[static_cast<std::size_t>(j)].state.lines);
        take(half_.state.lines);
        Figures figures = first;
        if (after.densestLine != 0 && (first.densestLine == 0 || after.maxSymbols > first.maxSymbols)) {
            figures.maxSymbols = after.maxSymbols;
            figures.densestLine = first.lines - there.state.lines.lines + after.densestLine;
        }
        figures.lines = first.lines - there.state.lines.lines + rest.lines;
        figures.identifiers = first.identifiers + (rest.identifiers - there.state.lex.identifiers);
        figures.codeLines = first.codeLines + (rest.codeLines - there.state.lines.codeLines);
        figures.commentLines = first.commentLines + (rest.commentLines - there.state.lines.commentLines);
        figures.blankLines = figures.lines - figures.codeLines - figures.commentLines;
        return {figures, half_.input->error()};
    }

private:
    void publish(int progress)
    {
        progress_.store(progress, std::memory_order_release);
        progress_.notify_all();
    }

    Half half_;
    std::array<Checkpoint, CHECKPOINTS> points_{};
    std::atomic<int> progress_{0}; // twice the checkpoints recorded, plus 1 once the scan has ended
    std::atomic<bool> abandoned_{false};
};

// The second half's thread. A new thread is queued on its creator's
// processor, and the scheduler may leave it there for a tick: on two
// processors, the second half's scan waited 0.6 to 2.9 ms of a 50 ms run
// while the other processor stood idle, and shared the first half's for up
// to 9 ms more. So it starts on the processors but the creator's, which
// places it at once, and then may run on any of them again, so that it can
// come back when the others are busy.
class SecondThread {
public:
    // Starts `second`'s scan; false when no thread could be made.
    bool start(SecondHalf &second)
    {
        second_ = &second;
        pthread_attr_t attributes;
        if (pthread_attr_init(&attributes) != 0)
            return false;
        cpu_set_t others;
        if (processorsBut(sched_getcpu(), allowed_, others) &&
            pthread_attr_setaffinity_np(&attributes, sizeof others, &others) == 0)
            placed_ = true;
        started_ = pthread_create(&thread_, &attributes, &SecondThread::run, this) == 0;
        pthread_attr_destroy(&attributes);
        if (!started_ && placed_) { // a set the system refuses: anywhere, then
            placed_ = false;
            started_ = pthread_create(&thread_, nullptr, &SecondThread::run, this) == 0;
        }
        return started_;
    }

    SecondThread() = default;
    SecondThread(const SecondThread &) = delete;
    SecondThread &operator=(const SecondThread &) = delete;
    ~SecondThread() { join(); }

    void join()
    {
        if (started_)
            pthread_join(thread_, nullptr);
        started_ = false;
    }

private:
    static void *run(void *self)
    {
        auto &thread = *static_cast<SecondThread *>(self);
        thread.second_->run(thread.placed_ ? &thread.allowed_ : nullptr);
        return nullptr;
    }

    SecondHalf *second_ = nullptr;
    cpu_set_t allowed_{};
    bool placed_ = false;
    bool started_ = false;
    pthread_t thread_{};
};

Result wholeOnThisThread(int fd, off_t size, Dialect dialect, Symbols symbols)
{
    TextInput input(-1);
    input.reopenAt(fd, {0, size});
    return scan(input, dialect, nullptr, symbols);
}

// The first half's scan, then on into the second half, `rest`, until it
// meets one of the second's checkpoints; the index of that one, or -1.
int scanToCheckpoint(Half &first, SecondHalf &second, int fd, FileSpan rest)
{
    while (first.feedPiece()) {
    }
    if (first.input->error() != 0)
        return -1;
    first.input->reopenAt(fd, rest);
    first.fed = 0;
    for (int k = 0; k < CHECKPOINTS; k++) {
        const Checkpoint *there = second.checkpoint(k);
        if (there == nullptr)
            break;
        const std::optional<State> course = settledCourse(first.state);
        if (there->fed == first.fed && course && course == settledCourse(there->state))
            return k;
        if (!first.feedPiece())
            break;
    }
    return -1;
}

} // namespace

Result scanInTwo(int fd, off_t size, Dialect dialect, Symbols symbols)
{
    const off_t split = secondHalfOf(fd, {0, size});
    if (split == 0)
        return wholeOnThisThread(fd, size, dialect, symbols);
    const InstructionSet set = dispatch::setInUse();
    const FileSpan rest{split, size - split};
    auto second = std::make_unique<SecondHalf>(fd, rest, dialect, set, symbols);
    SecondThread thread;
    if (!thread.start(*second))
        return wholeOnThisThread(fd, size, dialect, symbols);
    Half first(fd, {0, split}, dialect, set, symbols);
    const int met = scanToCheckpoint(first, *second, fd, rest);
    if (met < 0)
        second->abandon();
    thread.join();
    if (met >= 0)
        return second->joined(figuresOf(first.state), met);
    while (first.input->error() == 0 && first.feedPiece()) {
    }
    first.mark.finish(first.points.feedC, first.state);
    first.points.finishC(first.state);
    return {figuresOf(first.state), first.input->error()};
}

} // namespace crules

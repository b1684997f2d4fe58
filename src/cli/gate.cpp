#include "gate.h"

#include <algorithm>
#include <cassert>
#include <malloc.h>

#include "stdstreams.h"

namespace cli {

void Turn::pass(std::size_t position)
{
    std::lock_guard lock(mutex_);
    position_ = position;
    passed_.notify_all();
}

void Turn::await(std::size_t position)
{
    std::unique_lock lock(mutex_);
    passed_.wait(lock, [&] { return position_ == position; });
}

namespace {

// A file's diagnostics are made by its worker, in that thread's malloc
// arena, and freed by the writer. An arena keeps what is freed in it for
// its own thread to use again; with many workers, up to 8 arenas a
// processor each kept up to the 24 MiB that were held at some moment, 250 MiB
// at -j 256. Buffers of 128 KiB and more are mapped on their own instead,
// and unmapped when freed, whichever thread frees them.
constexpr int OWN_MAPPING_FROM = 128 << 10;

} // namespace

Gate::Gate(Count limit, bool json, std::size_t slots, bool outputClosed)
    : limit(limit), json(json), share(std::clamp<std::size_t>(SHARED_DIAGNOSTICS / slots, 1 << 10, 64 << 10)),
      outputClosed(outputClosed)
{
    mallopt(M_MMAP_THRESHOLD, OWN_MAPPING_FROM);
}

void Reporter::add(const PieceOverLimit &piece)
{
    if (!diagnostics_)
        diagnostics_.emplace(path_, gate_.limit, gate_.json);
    outcome_.overLimit = true;
    const std::size_t before = outcome_.diagnostics.size();
    diagnostics_->append(outcome_.diagnostics, piece);
    const std::size_t added = outcome_.diagnostics.size() - before;
    if (gate_.held.fetch_add(added, std::memory_order_relaxed) + added > HELD_DIAGNOSTICS &&
        outcome_.diagnostics.size() >= gate_.share)
        write();
}

void Reporter::write()
{
    gate_.turn.await(position_); // invariant 3
    writeOrEnd(gate_.outputClosed, outcome_.diagnostics);
    gate_.held.fetch_sub(outcome_.diagnostics.size(), std::memory_order_relaxed);
    outcome_.diagnostics.clear();
}

void DiagnosticsWriter::beforeWait()
{
    flush();
    gate_.turn.pass(taken_); // invariant 2
}

// The diagnostics the worker left, then the message if the file could not
// be read to its end: those found before the failure stand.
void DiagnosticsWriter::take(Target &&target)
{
    taken_++; // before anything else, skipped targets too (invariant 1)
    const Outcome &outcome = target.outcome;
    if (outcome.state == State::Skipped)
        return;
    if (outcome.state == State::Measured)
        count(target);
    if (outcome.overLimit)
        status_ = 1;
    // Many are written as they are, rather than copied first.
    if (outcome.diagnostics.size() >= StdoutBuffer::FULL)
        flush(outcome.diagnostics);
    else
        out_.text += outcome.diagnostics;
    assert(gate_.held.load() >= outcome.diagnostics.size());
    gate_.held.fetch_sub(outcome.diagnostics.size(), std::memory_order_relaxed);
    if (outcome.state != State::Measured)
        complainAbout(target);
    else if (out_.full())
        flush();
}

int DiagnosticsWriter::finish()
{
    flush();
    progress_.clear();
    return status_;
}

} // namespace cli

#include "run/window.h"

#include <algorithm>

namespace cli {

namespace {

bool isFinished(TargetState state)
{
    return state != TargetState::Waiting && state != TargetState::Measuring;
}

// Standard input waits for its turn: every target before it finished.
// Every other target goes to the first worker free.
bool waitsForItsTurn(const Target &target)
{
    return target.request.origin == Origin::StandardInput;
}

} // namespace

Window::Window(std::size_t slots)
    : capacity_(slots), wakeWriterAt_(std::max<std::size_t>(slots / 4, 1)), wakeWalkAt_((slots + 1) / 2)
{
    slots_.reserve(slots);
}

std::size_t Window::free() const
{
    return capacity_ - (tail_ - head_);
}

std::size_t Window::inFlight()
{
    std::lock_guard lock(mutex_);
    return tail_ - head_;
}

// A full window waits until half of it is free, so that the walk and the
// writer take turns in runs of targets rather than a slot at a time.
void Window::add(std::vector<Target> &targets)
{
    std::unique_lock lock(mutex_);
    std::size_t waiting = 0;
    for (Target &target : targets) {
        if (free() == 0) {
            notifyWorkers(waiting);
            waiting = 0;
            walkWaits_ = true;
            space_.wait(lock, [this] { return free() >= wakeWalkAt_; });
            walkWaits_ = false;
        }
        const bool waits = target.outcome.state == TargetState::Waiting;
        if (waits && waitsForItsTurn(target))
            inputs_.push_back(tail_);
        if (tail_ < capacity_)
            slots_.push_back(std::move(target));
        else
            slot(tail_) = std::move(target);
        tail_++;
        if (waits)
            waiting++;
        else
            passFinished();
    }
    notifyWorkers(waiting);
    targets.clear();
}

void Window::notifyWorkers(std::size_t waiting)
{
    if (waiting == 1)
        work_.notify_one();
    else if (waiting > 1)
        work_.notify_all();
}

void Window::complete()
{
    std::lock_guard lock(mutex_);
    complete_ = true;
    work_.notify_all();
    finished_.notify_all();
}

bool Window::standardInputsTurn() const
{
    return !inputs_.empty() && inputs_.front() == unfinished_;
}

// The position of the target to hand a worker now, if any.
std::optional<std::size_t> Window::nextForWorker()
{
    if (standardInputsTurn()) {
        const std::size_t position = inputs_.front();
        inputs_.pop_front();
        // The workers that waited only for it may end now.
        if (complete_ && inputs_.empty())
            work_.notify_all();
        return position;
    }
    while (next_ < tail_ && (slot(next_).outcome.state != TargetState::Waiting || waitsForItsTurn(slot(next_))))
        next_++;
    if (next_ < tail_)
        return next_++;
    return std::nullopt;
}

std::optional<Job> Window::take(std::optional<Finished> &done)
{
    std::unique_lock lock(mutex_);
    if (done) {
        slot(done->position).outcome = std::move(done->outcome);
        passFinished();
    }
    for (;;) {
        if (const std::optional<std::size_t> position = nextForWorker()) {
            Target &target = slot(*position);
            target.outcome.state = TargetState::Measuring;
            Request &request = target.request;
            return Job{*position, {request.path, request.origin, std::move(request.directory), std::move(request.name),
                                   request.reported, request.settings}};
        }
        if (complete_ && inputs_.empty())
            return std::nullopt;
        work_.wait(lock);
    }
}

// Moves unfinished_ past the targets now finished. Wakes the writer when the
// oldest is among them, when they are enough to be worth its while, and when
// they are the last; and a worker when standard input's turn has come.
void Window::passFinished()
{
    const std::size_t before = unfinished_ - head_;
    while (unfinished_ < tail_ && isFinished(slot(unfinished_).outcome.state))
        unfinished_++;
    const std::size_t after = unfinished_ - head_;
    const bool last = complete_ && unfinished_ == tail_ && after > before;
    if ((before == 0 && after > 0) || (before < wakeWriterAt_ && after >= wakeWriterAt_) || last)
        finished_.notify_one();
    if (standardInputsTurn())
        work_.notify_one();
}

bool Window::takeFinished(std::vector<Target> &into, Waits waits)
{
    std::unique_lock lock(mutex_);
    const auto over = [this] { return complete_ && unfinished_ == tail_; };
    if (finished_.wait_for(lock, waits.patience, [&] { return unfinished_ > head_ || over(); }))
        finished_.wait_for(lock, waits.gathering, [&] { return unfinished_ - head_ >= wakeWriterAt_ || over(); });
    while (head_ < unfinished_)
        into.push_back(std::move(slot(head_++)));
    next_ = std::max(next_, head_);
    if (walkWaits_ && free() >= wakeWalkAt_)
        space_.notify_one();
    return !(complete_ && head_ == tail_);
}

} // namespace cli

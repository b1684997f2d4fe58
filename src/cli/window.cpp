#include "window.h"

#include <algorithm>

namespace {

bool isFinished(State state)
{
    return state != State::Waiting && state != State::Measuring;
}

} // namespace

Window::Window(std::size_t slots) : slots_(slots), batch_(std::max<std::size_t>(slots / 4, 1)), half_((slots + 1) / 2) {}

std::size_t Window::free() const
{
    return slots_.size() - (tail_ - head_);
}

// A full window waits until half of it is free, so that the walk and the
// writer take turns in batches rather than a slot at a time.
void Window::add(std::vector<Target> &targets)
{
    std::unique_lock lock(mutex_);
    std::size_t waiting = 0;
    for (Target &target : targets) {
        if (free() == 0) {
            notifyWorkers(waiting);
            waiting = 0;
            walkWaits_ = true;
            space_.wait(lock, [this] { return free() >= half_; });
            walkWaits_ = false;
        }
        const bool waits = target.state == State::Waiting;
        if (waits && target.origin == Origin::StandardInput)
            inputs_.push_back(tail_);
        slot(tail_++) = std::move(target);
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

std::optional<Job> Window::take(std::optional<Result> &done)
{
    std::unique_lock lock(mutex_);
    if (done)
        record(*done);
    for (;;) {
        std::size_t index = tail_;
        if (!inputs_.empty() && inputs_.front() == unfinished_) {
            index = inputs_.front();
            inputs_.pop_front();
            // The workers that waited only for it may end now.
            if (complete_ && inputs_.empty())
                work_.notify_all();
        } else {
            while (next_ < tail_ && (slot(next_).state != State::Waiting || slot(next_).origin == Origin::StandardInput))
                next_++;
            if (next_ < tail_)
                index = next_++;
        }
        if (index < tail_) {
            Target &target = slot(index);
            target.state = State::Measuring;
            return Job{index, target.origin,
                       Found{.path = target.path, .directory = std::move(target.directory), .name = std::move(target.name)}};
        }
        if (complete_ && inputs_.empty())
            return std::nullopt;
        work_.wait(lock);
    }
}

void Window::record(Result &result)
{
    Target &target = slot(result.index);
    target.state = result.state;
    target.error = result.error;
    target.figures = result.figures;
    target.bytes = result.bytes;
    target.diagnostics = std::move(result.diagnostics);
    target.overLimit = result.overLimit;
    passFinished();
}

// Moves unfinished_ past the targets now finished. Wakes the writer when the
// oldest is among them and when they make a batch; and a worker when
// standard input's turn has come.
void Window::passFinished()
{
    const std::size_t before = unfinished_ - head_;
    while (unfinished_ < tail_ && isFinished(slot(unfinished_).state))
        unfinished_++;
    const std::size_t after = unfinished_ - head_;
    if ((before == 0 && after > 0) || (before < batch_ && after >= batch_))
        finished_.notify_one();
    if (!inputs_.empty() && inputs_.front() == unfinished_)
        work_.notify_one();
}

bool Window::takeFinished(std::vector<Target> &into, std::chrono::milliseconds patience,
                          std::chrono::milliseconds gathering)
{
    std::unique_lock lock(mutex_);
    const auto over = [this] { return complete_ && unfinished_ == tail_; };
    if (finished_.wait_for(lock, patience, [&] { return unfinished_ > head_ || over(); }))
        finished_.wait_for(lock, gathering, [&] { return unfinished_ - head_ >= batch_ || over(); });
    while (head_ < unfinished_)
        into.push_back(std::move(slot(head_++)));
    next_ = std::max(next_, head_);
    if (walkWaits_ && free() >= half_)
        space_.notify_one();
    return !(complete_ && head_ == tail_);
}

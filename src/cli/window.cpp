#include "window.h"

#include <algorithm>

namespace {

bool isFinished(State state)
{
    return state != State::Waiting && state != State::Measuring;
}

} // namespace

void Window::add(Target target)
{
    std::unique_lock lock(mutex_);
    space_.wait(lock, [this] { return tail_ - head_ < slots_.size(); });
    const bool waits = target.state == State::Waiting;
    if (waits && target.origin == Origin::StandardInput)
        inputs_.push_back(tail_);
    slot(tail_++) = std::move(target);
    if (waits)
        work_.notify_one();
    else
        passFinished();
}

void Window::complete()
{
    std::lock_guard lock(mutex_);
    complete_ = true;
    work_.notify_all();
    finished_.notify_all();
}

std::optional<Job> Window::take()
{
    std::unique_lock lock(mutex_);
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

void Window::finish(std::size_t index, const Result &result)
{
    std::lock_guard lock(mutex_);
    Target &target = slot(index);
    target.state = result.state;
    target.error = result.error;
    target.figures = result.figures;
    target.bytes = result.bytes;
    passFinished();
}

// Moves unfinished_ past the targets now finished; wakes the writer when the
// oldest is among them, and a worker when standard input's turn has come.
void Window::passFinished()
{
    const bool oldestWaited = unfinished_ == head_;
    while (unfinished_ < tail_ && isFinished(slot(unfinished_).state))
        unfinished_++;
    if (oldestWaited && unfinished_ > head_)
        finished_.notify_one();
    if (!inputs_.empty() && inputs_.front() == unfinished_)
        work_.notify_one();
}

bool Window::takeFinished(std::vector<Target> &into, std::chrono::milliseconds patience)
{
    std::unique_lock lock(mutex_);
    finished_.wait_for(lock, patience, [this] { return unfinished_ > head_ || (complete_ && head_ == tail_); });
    if (unfinished_ > head_) {
        while (head_ < unfinished_)
            into.push_back(std::move(slot(head_++)));
        next_ = std::max(next_, head_);
        space_.notify_one();
    }
    return !(complete_ && head_ == tail_);
}

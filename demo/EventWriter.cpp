#include "demo/EventWriter.h"

#include <algorithm>

namespace inkwarden::demo {

struct EventWriter::Pending {
    ReceivedEvent event;
    std::int64_t received_ms = 0;
    bool taken = false; // the writer has it: the caller waits for the end of the write
    bool done = false;
    Result result;
};

EventWriter::EventWriter(IEventStore& store, Limits limits)
    : store_(store), limits_(limits), thread_([this] { writeLoop(); }) {}

EventWriter::~EventWriter() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_all();
    thread_.join();
}

EventWriter::Result EventWriter::append(const ReceivedEvent& event, std::int64_t received_ms) {
    auto pending = std::make_shared<Pending>();
    pending->event = event;
    pending->received_ms = received_ms;
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopping_ || queue_.size() >= limits_.capacity) {
        return Result{};
    }
    queue_.push_back(pending);
    queued_.notify_one();
    const auto until = std::chrono::steady_clock::now() + limits_.wait;
    done_.wait_until(lock, until, [&] { return pending->done || pending->taken; });
    if (!pending->taken) {
        // Not begun in time: withdrawn, so that it is never stored behind the caller's back.
        queue_.erase(std::find(queue_.begin(), queue_.end(), pending));
        return Result{};
    }
    done_.wait(lock, [&] { return pending->done; });
    return pending->result;
}

void EventWriter::writeLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) {
            return; // stopping, and nothing is left to write
        }
        const std::shared_ptr<Pending> pending = queue_.front();
        queue_.pop_front();
        pending->taken = true;
        done_.notify_all();
        lock.unlock();
        Result result;
        result.outcome =
            store_.append(pending->event, pending->received_ms, result.id, result.error)
                ? Outcome::STORED
                : Outcome::FAILED;
        lock.lock();
        pending->result = std::move(result);
        pending->done = true;
        done_.notify_all();
    }
}

} // namespace inkwarden::demo

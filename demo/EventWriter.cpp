#include "demo/EventWriter.h"

#include <algorithm>
#include <vector>

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
        // What has queued up goes in one transaction: one commit for many events.
        std::vector<std::shared_ptr<Pending>> batch;
        while (!queue_.empty() && batch.size() < limits_.batch) {
            batch.push_back(queue_.front());
            queue_.pop_front();
            batch.back()->taken = true;
        }
        done_.notify_all();
        lock.unlock();
        std::vector<IEventStore::NewEvent> rows;
        for (const auto& pending : batch) {
            rows.push_back({pending->event, pending->received_ms});
        }
        std::vector<std::int64_t> ids;
        std::string error;
        const bool stored = store_.appendAll(rows, ids, error);
        lock.lock();
        for (std::size_t i = 0; i < batch.size(); ++i) {
            batch[i]->result =
                stored ? Result{Outcome::STORED, ids[i], ""} : Result{Outcome::FAILED, 0, error};
            batch[i]->done = true;
        }
        done_.notify_all();
    }
}

} // namespace inkwarden::demo

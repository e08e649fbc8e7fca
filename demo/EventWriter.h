#pragma once

#include "demo/IEventStore.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace inkwarden::demo {

// The one thread that writes events to the store, behind a bounded queue: a locked or slow
// store holds only the events waiting here, never the connections that ask for anything else.
// A caller waits until its event is written; an event that finds the queue full, or is still
// queued when its wait runs out, is not taken (the client sends it again later), so every
// event that a caller hears as stored is a row, and none is stored after its caller gave up.
class EventWriter {
public:
    struct Limits {
        std::size_t capacity = 64;            // events waiting at once
        std::size_t batch = 64;               // events written in one transaction
        std::chrono::milliseconds wait{2000}; // longest wait in the queue before being written
    };

    enum class Outcome {
        STORED, // id is the row
        FAILED, // the store refused it: error says why
        BUSY,   // not taken: the queue was full or did not move in time
    };
    struct Result {
        Outcome outcome = Outcome::BUSY;
        std::int64_t id = 0;
        std::string error;
    };

    EventWriter(IEventStore& store, Limits limits);
    // Writes what is queued, then ends the thread.
    ~EventWriter();
    EventWriter(const EventWriter&) = delete;
    EventWriter& operator=(const EventWriter&) = delete;

    // Blocks until the event is written, refused or not taken.
    Result append(const ReceivedEvent& event, std::int64_t received_ms);

private:
    struct Pending;

    void writeLoop();

    IEventStore& store_;
    Limits limits_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable done_;
    std::deque<std::shared_ptr<Pending>> queue_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace inkwarden::demo

#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace inkwarden::demo {

// One deadline per connection for the head and body of its next request, counted from the
// connection's start or from its previous answer: a client that sends a byte now and then
// cannot hold a worker, which an idle time-out alone would allow. A connection that misses
// it is cut from a thread of its own: on its first request with 408 (then closed once the
// client had a moment to read it), later (perhaps an idle keep-alive connection) closed at
// once. While an answer is being made and sent, no deadline runs.
class RequestDeadlines {
public:
    explicit RequestDeadlines(std::chrono::milliseconds limit);
    ~RequestDeadlines();
    RequestDeadlines(const RequestDeadlines&) = delete;
    RequestDeadlines& operator=(const RequestDeadlines&) = delete;

    // Each takes the connection's identity; opened also its socket, which stays open until
    // closed is called.
    void opened(const void* connection, int fd);
    void answering(const void* connection);
    void answered(const void* connection);
    void closed(const void* connection);

private:
    using Clock = std::chrono::steady_clock;
    struct Watch {
        int fd = -1;
        Clock::time_point deadline;
        bool armed = true;        // a request is being read
        bool first = true;        // no answer has been sent on it yet
        bool told = false;        // 408 sent, the write side shut
        Clock::time_point cut_at; // when to shut the read side too
    };

    void watchLoop();
    void cut(Watch& watch, Clock::time_point now);

    std::chrono::milliseconds limit_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::unordered_map<const void*, Watch> watches_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace inkwarden::demo

#include "demo/RequestDeadlines.h"

#include <sys/socket.h>

namespace inkwarden::demo {
namespace {

using namespace std::chrono_literals;

constexpr auto CHECK_EVERY = 100ms;
// Time for the client to read the 408 before the connection goes.
constexpr auto READ_THE_ANSWER = 500ms;
constexpr char REQUEST_TIMEOUT[] =
    "HTTP/1.1 408 Request Timeout\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";

} // namespace

RequestDeadlines::RequestDeadlines(std::chrono::milliseconds limit)
    : limit_(limit), thread_([this] { watchLoop(); }) {}

RequestDeadlines::~RequestDeadlines() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void RequestDeadlines::opened(const void* connection, int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    Watch& watch = watches_[connection];
    watch.fd = fd;
    watch.deadline = Clock::now() + limit_;
}

void RequestDeadlines::answering(const void* connection) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (auto it = watches_.find(connection); it != watches_.end()) {
        it->second.armed = false;
    }
}

void RequestDeadlines::answered(const void* connection) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (auto it = watches_.find(connection); it != watches_.end() && !it->second.told) {
        it->second.armed = true;
        it->second.first = false;
        it->second.deadline = Clock::now() + limit_;
    }
}

void RequestDeadlines::closed(const void* connection) {
    std::lock_guard<std::mutex> lock(mutex_);
    watches_.erase(connection);
}

void RequestDeadlines::cut(Watch& watch, Clock::time_point now) {
    if (watch.first && !watch.told) {
        // Nothing of an answer has been written on this connection: the 408 is the answer.
        ::send(watch.fd, REQUEST_TIMEOUT, sizeof(REQUEST_TIMEOUT) - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        ::shutdown(watch.fd, SHUT_WR);
        watch.told = true;
        watch.cut_at = now + READ_THE_ANSWER;
        return;
    }
    // The server's reader then sees the end and closes the connection.
    ::shutdown(watch.fd, SHUT_RDWR);
    watch.armed = false;
    watch.told = false;
}

void RequestDeadlines::watchLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        wake_.wait_for(lock, CHECK_EVERY);
        const Clock::time_point now = Clock::now();
        // Under the lock: a socket is closed only after closed() took it off the list.
        for (auto& [connection, watch] : watches_) {
            if (watch.told && now >= watch.cut_at) {
                watch.first = false; // the 408 is out: now the connection goes
                cut(watch, now);
            } else if (watch.armed && !watch.told && now >= watch.deadline) {
                cut(watch, now);
            }
        }
    }
}

} // namespace inkwarden::demo

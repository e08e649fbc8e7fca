#pragma once

#include <chrono>
#include <cstddef>
#include <httplib.h>
#include <poll.h>
#include <string>

namespace inkwarden::demo {

// The header under which a request's Range value reaches the handlers. The HTTP library
// judges Range headers itself (an unknown unit answers 416, reversed and huge positions give
// wrong lengths), so the stream renames the header before the library sees it and the
// package handler applies its own rules.
inline constexpr const char* CLIENT_RANGE_HEADER = "Inkwarden-Client-Range";

// One accepted connection as the HTTP library reads it, with the limits that the library
// lacks: each request's head and body must arrive within one deadline (a client that sends a
// byte now and then cannot hold a worker), the head has a size limit, and a body must declare
// its length, which must be within the limit.
class RequestStream : public httplib::Stream {
public:
    struct Limits {
        std::chrono::milliseconds request_deadline{5000}; // head and body of one request
        std::chrono::milliseconds write_timeout{5000};    // for each write that cannot go on
        std::size_t max_head_bytes = 16384;
        std::size_t max_body_bytes = 1 << 20;
    };

    // Why a request was not read: a head that ends in one of these is answered by the server
    // (408, 431, 411, 413), since the library has not seen it.
    enum class Failure {
        NONE,
        CLOSED,
        TIMED_OUT,
        HEAD_TOO_LARGE,
        LENGTH_REQUIRED, // a chunked body, whose size the library would not limit
        BODY_TOO_LARGE,  // a declared length above the limit, refused before it is read
    };

    RequestStream(int sock, Limits limits);

    // Waits up to idle for the next request's first byte; false when the peer closed, the
    // time ran out or keep_waiting turned false.
    template <class KeepWaiting>
    bool waitForRequest(std::chrono::milliseconds idle, KeepWaiting keep_waiting);

    // Starts the next request: its deadline runs from now and its head is read anew.
    void beginRequest();
    Failure failure() const { return failure_; }
    // Before closing on a refused request: stops sending and reads what the client is still
    // sending for a short while, so that it gets to read the answer instead of a reset.
    void drainBeforeClose();
    // Whether the current request's head arrived whole (the library has seen it).
    bool headRead() const { return !head_pending_; }

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return sock_; }

private:
    bool pollFor(short events, std::chrono::milliseconds wait) const;
    std::chrono::milliseconds untilDeadline() const;
    bool receiveMore();
    bool readHead();
    bool acceptHead(std::string_view head);

    int sock_;
    Limits limits_;
    std::chrono::steady_clock::time_point deadline_;
    std::string buffer_;
    std::size_t read_at_ = 0;
    bool head_pending_ = false;
    Failure failure_ = Failure::NONE;
};

template <class KeepWaiting>
bool RequestStream::waitForRequest(std::chrono::milliseconds idle, KeepWaiting keep_waiting) {
    // Short slices, so that a stopping server does not wait for idle connections.
    constexpr std::chrono::milliseconds SLICE{100};
    const auto until = std::chrono::steady_clock::now() + idle;
    while (read_at_ == buffer_.size()) {
        if (!keep_waiting() || std::chrono::steady_clock::now() >= until) {
            return false;
        }
        if (pollFor(POLLIN, SLICE)) {
            return true;
        }
    }
    return true;
}

} // namespace inkwarden::demo

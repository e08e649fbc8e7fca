#pragma once

#include "platform/UniqueFd.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace inkwarden::test {

// One parsed request as the fault server saw it.
struct FaultRequest {
    std::string method;
    std::string path;
    std::map<std::string, std::string> headers; // names in lower case
    bool has_range = false;
    std::string range; // the Range value without "bytes="
    int64_t range_start = -1;
    int64_t range_end = -1; // -1 for an open range
};

// HTTP server of plain sockets on a free loopback port whose answers are written byte by byte
// by a handler, so that tests can send malformed headers, cut or stall connections. One request
// per connection; every connection runs on its own thread.
class FaultServer {
public:
    using Handler = std::function<void(const FaultRequest& request, int fd)>;

    FaultServer();
    ~FaultServer();
    FaultServer(const FaultServer&) = delete;
    FaultServer& operator=(const FaultServer&) = delete;

    // Starts listening; the handler writes the whole answer to fd (closed afterwards).
    bool start(Handler handler);
    int port() const { return port_; }
    std::string url(const std::string& path) const;
    std::vector<FaultRequest> requests() const;
    // The Range values of the GET requests, in arrival order ("" for none).
    std::vector<std::string> getRanges() const;

    // Writes all bytes; false when the peer has gone.
    static bool send(int fd, std::string_view bytes);
    // Sleeps, but returns early when the server stops; false then.
    bool pause(int ms) const;
    // Sends bytes in pieces of chunk with a pause of pause_ms after each, as a slow link
    // does; false when the peer has gone or the server stops.
    bool sendPaced(int fd, std::string_view bytes, size_t chunk, int pause_ms) const;

private:
    void AcceptLoop();
    void Serve(UniqueFd connection);

    UniqueFd listener_;
    int port_ = 0;
    Handler handler_;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    mutable std::mutex mutex_;
    std::vector<std::thread> connections_;
    std::vector<FaultRequest> requests_;
};

} // namespace inkwarden::test

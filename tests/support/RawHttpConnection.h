#pragma once

#include "platform/UniqueFd.h"

#include <chrono>
#include <string>

namespace inkwarden::test {

// A bare TCP connection to a loopback port, for requests that no HTTP client sends: byte by
// byte, unfinished, with raw paths and headers.
class RawHttpConnection {
public:
    explicit RawHttpConnection(int port);

    bool connected() const { return fd_.valid(); }
    bool send(const std::string& bytes);
    // Everything the server sends until it closes the connection or timeout passes.
    std::string receiveAll(std::chrono::milliseconds timeout);
    // Whether the server has closed the connection (waits up to timeout for it).
    bool closedByServer(std::chrono::milliseconds timeout);

    // One whole request with "Connection: close" and the answer to it.
    static std::string Exchange(int port, const std::string& request,
                                std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    UniqueFd fd_;
};

} // namespace inkwarden::test

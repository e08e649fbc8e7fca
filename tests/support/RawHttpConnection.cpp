#include "tests/support/RawHttpConnection.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace inkwarden::test {

RawHttpConnection::RawHttpConnection(int port) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd && ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
        fd_ = std::move(fd);
    }
}

bool RawHttpConnection::send(const std::string& bytes) {
    size_t sent = 0;
    while (fd_ && sent < bytes.size()) {
        const ssize_t n = ::send(fd_.get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return fd_.valid();
}

std::string RawHttpConnection::receiveAll(std::chrono::milliseconds timeout) {
    std::string received;
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (fd_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        pollfd entry{fd_.get(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        char buffer[65536];
        const ssize_t n = ::recv(fd_.get(), buffer, sizeof(buffer), 0);
        if (n <= 0) {
            break;
        }
        received.append(buffer, static_cast<size_t>(n));
    }
    return received;
}

bool RawHttpConnection::closedByServer(std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (fd_ && std::chrono::steady_clock::now() < until) {
        pollfd entry{fd_.get(), POLLIN, 0};
        if (::poll(&entry, 1, 50) > 0) {
            char buffer[4096];
            const ssize_t n = ::recv(fd_.get(), buffer, sizeof(buffer), 0);
            if (n <= 0) {
                return true;
            }
        }
    }
    return false;
}

std::string RawHttpConnection::Exchange(int port, const std::string& request,
                                        std::chrono::milliseconds timeout) {
    RawHttpConnection connection(port);
    if (!connection.send(request)) {
        return "";
    }
    return connection.receiveAll(timeout);
}

} // namespace inkwarden::test

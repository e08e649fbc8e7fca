#include "tests/support/FaultServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace inkwarden::test {
namespace {

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    const size_t last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

FaultRequest Parse(const std::string& head) {
    FaultRequest request;
    size_t line_end = head.find("\r\n");
    const std::string request_line = head.substr(0, line_end);
    const size_t first_blank = request_line.find(' ');
    const size_t second_blank = request_line.find(' ', first_blank + 1);
    request.method = request_line.substr(0, first_blank);
    request.path = request_line.substr(first_blank + 1, second_blank - first_blank - 1);
    while (line_end != std::string::npos) {
        const size_t next = head.find("\r\n", line_end + 2);
        const std::string line = head.substr(line_end + 2, next - line_end - 2);
        const size_t colon = line.find(':');
        if (colon != std::string::npos) {
            request.headers[Lower(line.substr(0, colon))] = Trim(line.substr(colon + 1));
        }
        line_end = next;
    }
    const auto range = request.headers.find("range");
    if (range != request.headers.end() && range->second.rfind("bytes=", 0) == 0) {
        request.has_range = true;
        request.range = range->second.substr(6);
        const size_t dash = request.range.find('-');
        request.range_start = std::stoll(request.range.substr(0, dash));
        const std::string end = request.range.substr(dash + 1);
        request.range_end = end.empty() ? -1 : std::stoll(end);
    }
    return request;
}

} // namespace

FaultServer::FaultServer() = default;

FaultServer::~FaultServer() {
    stopping_ = true;
    if (acceptor_.joinable()) {
        acceptor_.join();
    }
    std::vector<std::thread> connections;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        connections.swap(connections_);
    }
    for (std::thread& connection : connections) {
        connection.join();
    }
}

bool FaultServer::start(Handler handler) {
    handler_ = std::move(handler);
    listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (!listener_ ||
        ::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_.get(), 64) != 0 ||
        ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return false;
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
    return true;
}

std::string FaultServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<FaultRequest> FaultServer::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::vector<std::string> FaultServer::getRanges() const {
    std::vector<std::string> ranges;
    for (const FaultRequest& request : requests()) {
        if (request.method == "GET") {
            ranges.push_back(request.range);
        }
    }
    return ranges;
}

bool FaultServer::send(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool FaultServer::pause(int ms) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < deadline) {
        if (stopping_) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !stopping_;
}

bool FaultServer::sendPaced(int fd, std::string_view bytes, size_t chunk, int pause_ms) const {
    while (!bytes.empty()) {
        const size_t piece = std::min(chunk, bytes.size());
        if (!send(fd, bytes.substr(0, piece)) || !pause(pause_ms)) {
            return false;
        }
        bytes.remove_prefix(piece);
    }
    return true;
}

void FaultServer::AcceptLoop() {
    while (!stopping_) {
        pollfd waiting{listener_.get(), POLLIN, 0};
        if (::poll(&waiting, 1, 20) <= 0) {
            continue;
        }
        UniqueFd connection(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!connection) {
            continue;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        connections_.emplace_back([this, fd = connection.release()] { Serve(UniqueFd(fd)); });
    }
}

void FaultServer::Serve(UniqueFd connection) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && !stopping_) {
        pollfd waiting{connection.get(), POLLIN, 0};
        if (::poll(&waiting, 1, 20) <= 0) {
            continue;
        }
        const ssize_t n = ::recv(connection.get(), buffer, sizeof buffer, 0);
        if (n <= 0) {
            return;
        }
        head.append(buffer, static_cast<size_t>(n));
    }
    if (stopping_) {
        return;
    }
    const FaultRequest request = Parse(head.substr(0, head.find("\r\n\r\n") + 2));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
    }
    handler_(request, connection.get());
    // Let the peer read everything before the connection goes.
    ::shutdown(connection.get(), SHUT_WR);
}

} // namespace inkwarden::test

#include "demo/RequestStream.h"

#include "platform/TextEncoding.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace inkwarden::demo {
namespace {

constexpr std::size_t RECEIVE_CHUNK = 16384;
constexpr std::chrono::milliseconds DRAIN_TIME{1000};
constexpr std::size_t DRAIN_BYTES = 8 << 20;

// The renamed head: a client's Range becomes CLIENT_RANGE_HEADER, and a header that a client
// sent under that name itself is dropped from view.
std::string RenameRangeHeaders(std::string_view head) {
    constexpr std::string_view IGNORED = "Inkwarden-Ignored";
    std::string out;
    out.reserve(head.size() + 32);
    bool request_line = true;
    while (!head.empty()) {
        const size_t end = head.find('\n');
        std::string_view line =
            head.substr(0, end == std::string_view::npos ? head.size() : end + 1);
        head.remove_prefix(line.size());
        const size_t colon = line.find(':');
        if (!request_line && colon != std::string_view::npos) {
            const std::string_view name = line.substr(0, colon);
            if (EqualsIgnoringAsciiCase(name, "Range")) {
                out += CLIENT_RANGE_HEADER;
                line.remove_prefix(colon);
            } else if (EqualsIgnoringAsciiCase(name, CLIENT_RANGE_HEADER)) {
                out += IGNORED;
                line.remove_prefix(colon);
            }
        }
        out += line;
        request_line = false;
    }
    return out;
}

// The value of a header line ("Name: value\r\n") without its blanks and line end.
std::string_view HeaderValue(std::string_view line, size_t colon) {
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
        value.remove_prefix(1);
    }
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r' || value.back() == ' ' ||
                              value.back() == '\t')) {
        value.remove_suffix(1);
    }
    return value;
}

// Where the head ends (after its empty line), or npos while it is incomplete.
size_t HeadEnd(std::string_view data) {
    const size_t crlf = data.find("\r\n\r\n");
    const size_t lf = data.find("\n\n");
    if (crlf == std::string_view::npos && lf == std::string_view::npos) {
        return std::string_view::npos;
    }
    return crlf < lf ? crlf + 4 : lf + 2;
}

void AddressOf(int sock, bool peer, std::string& ip, int& port) {
    sockaddr_storage address{};
    socklen_t size = sizeof(address);
    const int rc = peer ? ::getpeername(sock, reinterpret_cast<sockaddr*>(&address), &size)
                        : ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &size);
    ip.clear();
    port = 0;
    if (rc != 0) {
        return;
    }
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof(text));
        port = ntohs(v4.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof(text));
        port = ntohs(v6.sin6_port);
    }
    ip = text;
}

} // namespace

RequestStream::RequestStream(int sock, Limits limits) : sock_(sock), limits_(limits) {}

void RequestStream::beginRequest() {
    deadline_ = std::chrono::steady_clock::now() + limits_.request_deadline;
    head_pending_ = true;
    failure_ = Failure::NONE;
    // What is left belongs to the next request (a pipelining client).
    buffer_.erase(0, read_at_);
    read_at_ = 0;
}

bool RequestStream::pollFor(short events, std::chrono::milliseconds wait) const {
    pollfd entry{sock_, events, 0};
    int rc = 0;
    do {
        rc = ::poll(&entry, 1, static_cast<int>(std::max<std::int64_t>(wait.count(), 0)));
    } while (rc < 0 && errno == EINTR);
    return rc > 0;
}

std::chrono::milliseconds RequestStream::untilDeadline() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ -
                                                                 std::chrono::steady_clock::now());
}

bool RequestStream::receiveMore() {
    const auto left = untilDeadline();
    if (left.count() <= 0 || !pollFor(POLLIN, left)) {
        failure_ = Failure::TIMED_OUT;
        return false;
    }
    char chunk[RECEIVE_CHUNK];
    ssize_t n = 0;
    do {
        n = ::recv(sock_, chunk, sizeof(chunk), 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        failure_ = Failure::CLOSED;
        return false;
    }
    buffer_.append(chunk, static_cast<size_t>(n));
    return true;
}

bool RequestStream::readHead() {
    size_t end = HeadEnd(buffer_);
    while (end == std::string::npos) {
        if (buffer_.size() > limits_.max_head_bytes) {
            failure_ = Failure::HEAD_TOO_LARGE;
            return false;
        }
        if (!receiveMore()) {
            return false;
        }
        end = HeadEnd(buffer_);
    }
    if (end > limits_.max_head_bytes) {
        failure_ = Failure::HEAD_TOO_LARGE;
        return false;
    }
    if (!acceptHead(std::string_view(buffer_).substr(0, end))) {
        return false;
    }
    buffer_ = RenameRangeHeaders(std::string_view(buffer_).substr(0, end)) + buffer_.substr(end);
    head_pending_ = false;
    return true;
}

bool RequestStream::acceptHead(std::string_view head) {
    for (size_t start = head.find('\n'); start != std::string_view::npos;
         start = head.find('\n', start + 1)) {
        const std::string_view line = head.substr(start + 1, head.find('\n', start + 1) - start);
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string_view name = line.substr(0, colon);
        if (EqualsIgnoringAsciiCase(name, "Transfer-Encoding")) {
            failure_ = Failure::LENGTH_REQUIRED;
            return false;
        }
        const std::string_view value = HeaderValue(line, colon);
        std::uint64_t length = 0;
        const auto [stop, ec] = std::from_chars(value.data(), value.data() + value.size(), length);
        const bool too_long = ec == std::errc::result_out_of_range ||
                              (ec == std::errc() && length > limits_.max_body_bytes);
        if (EqualsIgnoringAsciiCase(name, "Content-Length") && too_long) {
            failure_ = Failure::BODY_TOO_LARGE;
            return false;
        }
    }
    return true;
}

void RequestStream::drainBeforeClose() {
    ::shutdown(sock_, SHUT_WR);
    const auto until = std::chrono::steady_clock::now() + DRAIN_TIME;
    char chunk[RECEIVE_CHUNK];
    for (std::size_t drained = 0; drained < DRAIN_BYTES;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !pollFor(POLLIN, left)) {
            return;
        }
        const ssize_t n = ::recv(sock_, chunk, sizeof(chunk), 0);
        if (n <= 0) {
            return;
        }
        drained += static_cast<std::size_t>(n);
    }
}

bool RequestStream::is_readable() const {
    return read_at_ < buffer_.size() || pollFor(POLLIN, untilDeadline());
}

bool RequestStream::is_writable() const {
    return pollFor(POLLOUT, limits_.write_timeout);
}

ssize_t RequestStream::read(char* ptr, size_t size) {
    if (head_pending_ && !readHead()) {
        return -1;
    }
    if (read_at_ == buffer_.size()) {
        buffer_.clear();
        read_at_ = 0;
        if (!receiveMore()) {
            return -1;
        }
    }
    const size_t n = std::min(size, buffer_.size() - read_at_);
    std::memcpy(ptr, buffer_.data() + read_at_, n);
    read_at_ += n;
    return static_cast<ssize_t>(n);
}

ssize_t RequestStream::write(const char* ptr, size_t size) {
    if (!is_writable()) {
        return -1;
    }
    ssize_t n = 0;
    do {
        n = ::send(sock_, ptr, size, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n;
}

void RequestStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    AddressOf(sock_, true, ip, port);
}

void RequestStream::get_local_ip_and_port(std::string& ip, int& port) const {
    AddressOf(sock_, false, ip, port);
}

} // namespace inkwarden::demo

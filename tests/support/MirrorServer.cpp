#include "tests/support/MirrorServer.h"

#include <algorithm>

namespace inkwarden::test {
namespace {

constexpr int64_t CHUNK = 16 << 10;

std::string Head(int status, const std::string& lines) {
    return "HTTP/1.1 " + std::to_string(status) + " X\r\n" + lines + "Connection: close\r\n\r\n";
}

} // namespace

MirrorServer::MirrorServer(std::string content, Behaviour behaviour)
    : content_(std::move(content)), behaviour_(std::move(behaviour)),
      server_(std::make_unique<FaultServer>()) {
    running_ = server_->start([this](const FaultRequest& request, int fd) { Answer(request, fd); });
    url_ = server_->url("/package.exe");
    reaper_ = std::thread([this] { Reaper(); });
}

MirrorServer::~MirrorServer() {
    {
        std::lock_guard<std::mutex> lock(reap_mutex_);
        closing_ = true;
    }
    reap_.notify_all();
    reaper_.join();
}

void MirrorServer::Reaper() {
    std::unique_lock<std::mutex> lock(reap_mutex_);
    reap_.wait(lock, [this] { return dying_ || closing_; });
    lock.unlock();
    // Cuts the connections (their senders see dying_) and closes the listening socket.
    server_.reset();
    dead_ = dying_.load();
}

void MirrorServer::Answer(const FaultRequest& request, int fd) {
    const int64_t size = static_cast<int64_t>(content_.size());
    const std::string lines = "Accept-Ranges: bytes\r\nETag: \"" + behaviour_.tag + "\"\r\n";
    if (request.method == "HEAD") {
        FaultServer::send(fd,
                          Head(200, lines + "Content-Length: " + std::to_string(size) + "\r\n"));
        return;
    }
    if (!request.has_range) {
        if (FaultServer::send(
                fd, Head(200, lines + "Content-Length: " + std::to_string(size) + "\r\n"))) {
            SendBody(fd, 0, size);
        }
        return;
    }
    const int64_t first = request.range_start;
    const int64_t last = request.range_end < 0 ? size - 1 : std::min(request.range_end, size - 1);
    const int64_t length = last - first + 1;
    const std::string range = "Content-Range: bytes " + std::to_string(first) + "-" +
                              std::to_string(last) + "/" + std::to_string(size) + "\r\n";
    if (FaultServer::send(
            fd, Head(206, lines + range + "Content-Length: " + std::to_string(length) + "\r\n"))) {
        SendBody(fd, first, length);
    }
}

bool MirrorServer::SendBody(int fd, int64_t first, int64_t length) {
    for (int64_t at = first; at < first + length; at += CHUNK) {
        const int64_t piece = std::min(CHUNK, first + length - at);
        Pace(piece);
        std::string bytes = content_.substr(static_cast<size_t>(at), static_cast<size_t>(piece));
        const int64_t damaged = behaviour_.damaged_byte;
        if (damaged >= at && damaged < at + piece) {
            bytes[static_cast<size_t>(damaged - at)] ^= 0x5a;
        }
        // Claimed before the send, so that connections sending at once never pass the limit
        // together.
        const int64_t claimed = sent_ += piece;
        const bool over = behaviour_.dies_after >= 0 && claimed > behaviour_.dies_after;
        if (over || dying_ || closing_ || !FaultServer::send(fd, bytes)) {
            if (over) {
                Die();
            }
            return false;
        }
        if (behaviour_.dies_after >= 0 && claimed >= behaviour_.dies_after) {
            Die();
            return false;
        }
    }
    return true;
}

void MirrorServer::Die() {
    {
        std::lock_guard<std::mutex> lock(reap_mutex_);
        dying_ = true;
    }
    reap_.notify_all();
}

void MirrorServer::Pace(int64_t bytes) {
    if (behaviour_.rate <= 0) {
        return;
    }
    // Each piece takes its share of the one link, in the order the senders ask.
    std::chrono::steady_clock::time_point send_at;
    {
        std::lock_guard<std::mutex> lock(pace_mutex_);
        const auto now = std::chrono::steady_clock::now();
        send_at = std::max(now, link_free_);
        link_free_ = send_at + std::chrono::microseconds(bytes * 1000000 / behaviour_.rate);
    }
    std::this_thread::sleep_until(send_at);
}

} // namespace inkwarden::test

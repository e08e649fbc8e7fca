#pragma once

#include "tests/support/FaultServer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace inkwarden::test {

// One mirror of a package: HEAD and ranged GETs of one file with a strong tag, optionally
// limited to a rate shared by all its connections together (as a server's uplink is), and
// optionally failing the way mirrors do: dying part way, or serving one damaged byte.
class MirrorServer {
public:
    struct Behaviour {
        // Bytes per second for all connections together; 0: as fast as loopback goes.
        int64_t rate = 0;
        // After this many body bytes the server goes: its connections are cut and later
        // ones refused. -1: never.
        int64_t dies_after = -1;
        // This offset of the file is served with its bits flipped. -1: none.
        int64_t damaged_byte = -1;
        std::string tag = "m1";

        Behaviour& Rate(int64_t bytes_per_second) {
            rate = bytes_per_second;
            return *this;
        }
        Behaviour& DiesAfter(int64_t bytes) {
            dies_after = bytes;
            return *this;
        }
        Behaviour& Damages(int64_t offset) {
            damaged_byte = offset;
            return *this;
        }
        Behaviour& Tag(std::string text) {
            tag = std::move(text);
            return *this;
        }
    };

    MirrorServer(std::string content, Behaviour behaviour);
    ~MirrorServer();
    MirrorServer(const MirrorServer&) = delete;
    MirrorServer& operator=(const MirrorServer&) = delete;

    bool running() const { return running_; }
    // Keeps naming the same port after the server died.
    std::string url() const { return url_; }
    int64_t bodyBytesSent() const { return sent_; }
    bool dead() const { return dead_; }

private:
    void Answer(const FaultRequest& request, int fd);
    // Sends body bytes at the shared rate; false when the connection or the server went.
    bool SendBody(int fd, int64_t first, int64_t length);
    // Stops serving: the connections are cut and new ones refused.
    void Die();
    void Pace(int64_t bytes);
    void Reaper();

    std::string content_;
    Behaviour behaviour_;
    std::unique_ptr<FaultServer> server_;
    std::string url_;
    bool running_ = false;
    std::atomic<int64_t> sent_{0};
    std::atomic<bool> dying_{false};
    std::atomic<bool> dead_{false};
    std::atomic<bool> closing_{false};
    // The shared rate: when the link is free for the next bytes.
    std::mutex pace_mutex_;
    std::chrono::steady_clock::time_point link_free_{};
    // The reaper ends the server once it is dying, off the connections' own threads.
    std::mutex reap_mutex_;
    std::condition_variable reap_;
    std::thread reaper_;
};

} // namespace inkwarden::test

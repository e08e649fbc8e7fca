#pragma once

#include "net/HttpClient.h"
#include "net/ServiceProtocol.h"
#include "telemetry/Md5Provider.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace inkwarden {

// Reports event codes to the event service, fire-and-forget: Report only queues, one worker
// thread sends the queued codes one at a time in report order.
class EventReporter {
public:
    struct Options {
        std::string url = EVENT_URL;
        // Off stands for a machine whose crypto library offers no MD5: "k" stays empty.
        bool md5_available = true;
    };

    EventReporter();
    explicit EventReporter(Options options);
    ~EventReporter(); // the worker must have been stopped

    EventReporter(const EventReporter&) = delete;
    EventReporter& operator=(const EventReporter&) = delete;

    void Start();
    void Report(int code);
    void Stop();

    // Whether events go out at all: the user's say (the window's "Send usage events" box,
    // DO_NOT_TRACK). While off, Report drops codes and nothing queued is sent. Any thread.
    void SetEnabled(bool enabled);
    bool IsEnabled() const { return enabled_; }
    // DO_NOT_TRACK=1 (or any value but "0" and empty) in the environment.
    static bool DoNotTrackRequested();

    // Worker only (and the support tool): builds and posts one event; true when accepted.
    bool Send(int code);

    // The JSON text that Send posts for code.
    std::string BuildBody(int code) const;

    std::string client_version = CLIENT_VERSION;
    std::int32_t app_id = APP_ID;
    std::int32_t union_id = UNION_ID;
    // Set by Start.
    std::string machine_id;

private:
    void WorkerMain();

    Options options_;
    std::deque<std::int32_t> queue_;
    std::mutex queue_lock_;
    std::condition_variable wake_up_;
    std::thread worker_;
    bool stopping_ = false;
    std::atomic<bool> enabled_{true};
    Md5Provider digest_;
    HttpClient client_;
};

} // namespace inkwarden

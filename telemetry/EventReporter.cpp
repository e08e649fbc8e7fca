#include "telemetry/EventReporter.h"

#include "telemetry/CPCIDCalculator.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

namespace inkwarden {

EventReporter::EventReporter() : EventReporter(Options{}) {}

EventReporter::EventReporter(Options options) : options_(std::move(options)) {}

EventReporter::~EventReporter() {
    // Destruction requires a stopped worker; stopping here keeps a forgotten Stop from
    // terminating the process.
    if (worker_.joinable()) {
        Stop();
    }
}

void EventReporter::Start() {
    // Read here rather than when the reporter is made: the window's start does not wait for
    // the machine's facts.
    if (machine_id.empty()) {
        machine_id = MachineIdText();
    }
    if (options_.md5_available) {
        digest_.acquire();
    }
    client_.Reopen();
    if (!worker_.joinable()) {
        worker_ = std::thread(&EventReporter::WorkerMain, this);
    }
}

void EventReporter::SetEnabled(bool enabled) {
    std::lock_guard<std::mutex> lock(queue_lock_);
    enabled_ = enabled;
    if (!enabled) {
        queue_.clear();
    }
}

bool EventReporter::DoNotTrackRequested() {
    const char* value = std::getenv("DO_NOT_TRACK");
    return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

void EventReporter::Report(int code) {
    {
        std::lock_guard<std::mutex> lock(queue_lock_);
        if (!enabled_) {
            return;
        }
        queue_.push_back(code);
    }
    wake_up_.notify_one();
}

void EventReporter::Stop() {
    {
        std::lock_guard<std::mutex> lock(queue_lock_);
        stopping_ = true;
    }
    // Ends a Post that is running on the worker right now, as a failed transfer, and one that
    // the worker is about to start: the close never waits for the event service. Events still
    // queued or in flight are dropped.
    client_.Close();
    wake_up_.notify_all();
    if (worker_.joinable()) {
        worker_.join();
    }
    client_.ReleaseHandle();
    digest_.release();
    std::lock_guard<std::mutex> lock(queue_lock_);
    stopping_ = false;
}

void EventReporter::WorkerMain() {
    for (;;) {
        std::int32_t code = 0;
        {
            std::unique_lock<std::mutex> lock(queue_lock_);
            wake_up_.wait(lock, [this] { return !queue_.empty() || stopping_; });
            if (stopping_) {
                return; // codes still queued are dropped
            }
            code = queue_.front();
            queue_.pop_front();
        }
        // Turned off between the queueing and now: still not sent.
        if (enabled_) {
            Send(code);
        }
    }
}

std::string EventReporter::BuildBody(int code) const {
    nlohmann::json body = nlohmann::json::object();
    body["v"] = client_version;
    body["a"] = app_id;
    body["u"] = union_id;
    body["p"] = machine_id;
    body["m"] = code;

    // The check text is "%d%s%s%d" of app_id, machine_id, client_version and the code.
    const std::string check =
        std::to_string(app_id) + machine_id + client_version + std::to_string(code);
    body["k"] = digest_.hexDigest(check);
    return body.dump(); // the object keeps its keys sorted: a, k, m, p, u, v
}

bool EventReporter::Send(int code) {
    if (code == -1) {
        return false;
    }
    const std::string body = BuildBody(code);
    HttpResponse response = client_.Post(options_.url, body, JSON_HEADER_LINE);
    return response.body == "1";
}

} // namespace inkwarden

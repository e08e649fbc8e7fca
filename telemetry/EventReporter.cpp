#include "telemetry/EventReporter.h"

#include "telemetry/CPCIDCalculator.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

namespace inkwarden {

EventReporter::EventReporter() : EventReporter(Options{}) {}

namespace {

constexpr std::chrono::seconds LONGEST_RETRY_AFTER{3600};
constexpr std::chrono::seconds RETRY_AFTER_DATE{60}; // an HTTP date is not worth a clock here

bool IsSuccess(std::int32_t status) {
    return status >= 200 && status < 300;
}

std::chrono::seconds RetryAfter(const std::vector<std::string>& values) {
    if (values.empty()) {
        return std::chrono::seconds(0);
    }
    char* end = nullptr;
    const long long seconds = std::strtoll(values.front().c_str(), &end, 10);
    if (values.front().empty() || *end != '\0' || seconds < 0) {
        return RETRY_AFTER_DATE;
    }
    return std::min(std::chrono::seconds(seconds), LONGEST_RETRY_AFTER);
}

} // namespace

EventReporter::EventReporter(Options options) : options_(std::move(options)) {
    if (!options_.spool_folder.empty()) {
        spool_ = std::make_unique<EventSpool>(options_.spool_folder);
    }
}

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
    {
        std::lock_guard<std::mutex> lock(queue_lock_);
        enabled_ = enabled;
        if (!enabled) {
            queue_.clear();
        }
    }
    // Turned off means nothing at all goes out, also not what earlier runs kept.
    if (!enabled) {
        ClearSpool();
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
    // What is still queued waits on disk for the next run: a few small files, no network.
    if (spool_) {
        std::lock_guard<std::mutex> lock(queue_lock_);
        for (const std::int32_t code : queue_) {
            if (code != -1) {
                spool_->Keep(BuildBody(code));
            }
        }
        queue_.clear();
    }
    client_.ReleaseHandle();
    digest_.release();
    std::lock_guard<std::mutex> lock(queue_lock_);
    stopping_ = false;
}

void EventReporter::WorkerMain() {
    // Events kept by earlier runs go out before this run's own.
    SendSpooled();
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
        if (!enabled_) {
            continue;
        }
        if (!spool_) {
            Send(code);
        } else if (code != -1) {
            Deliver(BuildBody(code));
        }
    }
}

void EventReporter::Deliver(const std::string& body) {
    // Behind kept events, a new one waits its turn, so the service sees report order.
    if (!SendSpooled() || Post(body) != Delivery::ACKNOWLEDGED) {
        spool_->Keep(body);
    }
}

bool EventReporter::SendSpooled() {
    if (!spool_ || !options_.send_spooled || !enabled_) {
        return true;
    }
    for (const std::string& name : spool_->Pending()) {
        {
            std::lock_guard<std::mutex> lock(queue_lock_);
            if (stopping_ || !enabled_) {
                return false;
            }
        }
        const std::optional<std::string> body = spool_->Read(name);
        if (!body) {
            continue; // damaged: Read removed it
        }
        if (Post(*body) != Delivery::ACKNOWLEDGED) {
            return false;
        }
        spool_->Remove(name);
    }
    return true;
}

EventReporter::Delivery EventReporter::Post(const std::string& body) {
    if (std::chrono::steady_clock::now() < quiet_until_) {
        return Delivery::NOT_ACKNOWLEDGED;
    }
    const HttpResponse response =
        client_.Post(options_.url, body, std::vector<std::string>{JSON_HEADER_LINE}, "Retry-After");
    if (IsSuccess(response.status)) {
        return Delivery::ACKNOWLEDGED;
    }
    quiet_until_ = std::chrono::steady_clock::now() + RetryAfter(response.picked_header_values);
    return Delivery::NOT_ACKNOWLEDGED;
}

void EventReporter::ClearSpool() {
    if (spool_) {
        spool_->Clear();
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

#include "telemetry/EventSpool.h"

#include "platform/Paths.h"
#include "platform/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace inkwarden {
namespace {

constexpr const char* EVENT_SUFFIX = ".event";
constexpr std::size_t MAX_EVENT_BYTES = 4096; // a body is about 150 bytes
constexpr mode_t FOLDER_MODE = 0700;
constexpr mode_t FILE_MODE = 0600;

bool IsEventName(const std::string& name) {
    const std::string suffix = EVENT_SUFFIX;
    return name.size() > suffix.size() && name.front() != '.' &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

// The members of an event body and their types, as the reporter writes them.
bool LooksLikeEvent(const std::string& body) {
    const nlohmann::json event = nlohmann::json::parse(body, nullptr, false);
    return event.is_object() && event.size() == 6 && event.contains("a") &&
           event["a"].is_number_integer() && event.contains("m") &&
           event["m"].is_number_integer() && event.contains("u") &&
           event["u"].is_number_integer() && event.contains("k") && event["k"].is_string() &&
           event.contains("p") && event["p"].is_string() && event.contains("v") &&
           event["v"].is_string();
}

} // namespace

EventSpool::EventSpool(std::string folder) : EventSpool(std::move(folder), Limits{}) {}

EventSpool::EventSpool(std::string folder, Limits limits)
    : folder_(std::move(folder)), limits_(limits) {}

std::string EventSpool::DefaultFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    const std::string base =
        state != nullptr && *state == '/' ? std::string(state) : HomeFolder() + "/.local/state";
    return base + "/inkwarden/events";
}

bool EventSpool::Keep(const std::string& body) {
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    ::chmod(folder_.c_str(), FOLDER_MODE);
    // Microseconds since 1970 keep runs in order; the sequence keeps one run's events in order.
    const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    char name[96];
    std::snprintf(name, sizeof(name), "%020" PRId64 "-%08" PRIu64 "-%d%s",
                  static_cast<std::int64_t>(now), sequence_++, static_cast<int>(::getpid()),
                  EVENT_SUFFIX);
    const std::string final_path = folder_ + "/" + name;
    const std::string temporary = folder_ + "/." + name;
    UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, FILE_MODE));
    if (!fd) {
        return false;
    }
    // No fsync: the window's close must not wait for the disk; a file cut short by a crash
    // is removed as damaged when it is read.
    const bool written = WriteAll(fd.get(), body);
    fd.reset();
    if (!written || ::rename(temporary.c_str(), final_path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    Trim();
    return true;
}

std::vector<std::string> EventSpool::Pending() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder_, ec)) {
        std::string name = entry.path().filename().string();
        if (IsEventName(name)) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::string> EventSpool::Read(const std::string& name) {
    const std::string path = folder_ + "/" + name;
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    struct stat info {};
    std::string body;
    if (fd && ::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<std::size_t>(info.st_size) <= MAX_EVENT_BYTES) {
        body.resize(static_cast<std::size_t>(info.st_size));
        const ssize_t got = ::pread(fd.get(), body.data(), body.size(), 0);
        body.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    if (!LooksLikeEvent(body)) {
        Remove(name);
        return std::nullopt;
    }
    return body;
}

void EventSpool::Remove(const std::string& name) {
    ::unlink((folder_ + "/" + name).c_str());
}

void EventSpool::Clear() {
    for (const std::string& name : Pending()) {
        Remove(name);
    }
}

void EventSpool::Trim() {
    // One walk over the folder: names with their sizes, oldest first.
    std::vector<std::pair<std::string, std::uintmax_t>> kept;
    std::uintmax_t total = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder_, ec)) {
        std::string name = entry.path().filename().string();
        if (IsEventName(name)) {
            std::error_code size_error;
            const std::uintmax_t size = entry.file_size(size_error);
            kept.emplace_back(std::move(name), size_error ? 0 : size);
            total += kept.back().second;
        }
    }
    if (kept.size() <= limits_.max_files && total <= limits_.max_bytes) {
        return;
    }
    std::sort(kept.begin(), kept.end());
    std::size_t count = kept.size();
    for (std::size_t i = 0;
         i < kept.size() && (count > limits_.max_files || total > limits_.max_bytes); ++i) {
        Remove(kept[i].first);
        total -= kept[i].second;
        --count;
    }
}

} // namespace inkwarden

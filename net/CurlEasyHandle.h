#pragma once

#include <curl/curl.h>
#include <utility>

namespace inkwarden {

// Sole owner of one libcurl easy handle; cleans it up when destroyed or reset.
class CurlEasyHandle {
public:
    CurlEasyHandle() = default;
    explicit CurlEasyHandle(CURL* handle) : handle_(handle) {}
    ~CurlEasyHandle() { reset(); }

    CurlEasyHandle(CurlEasyHandle&& other) noexcept
        : handle_(std::exchange(other.handle_, nullptr)) {}
    CurlEasyHandle& operator=(CurlEasyHandle&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.handle_, nullptr));
        }
        return *this;
    }
    CurlEasyHandle(const CurlEasyHandle&) = delete;
    CurlEasyHandle& operator=(const CurlEasyHandle&) = delete;

    // A fresh handle, or an empty owner when the library cannot make one.
    static CurlEasyHandle create() { return CurlEasyHandle(curl_easy_init()); }

    CURL* get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

    void reset(CURL* handle = nullptr) {
        if (handle_ != nullptr) {
            curl_easy_cleanup(handle_);
        }
        handle_ = handle;
    }

private:
    CURL* handle_ = nullptr;
};

} // namespace inkwarden

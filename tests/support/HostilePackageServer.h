#pragma once

#include "tests/support/FaultServer.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace inkwarden::test {

// A package server that misbehaves as real caches and proxies do. It serves one file with
// ranges and the strong tag "v1" until its fault says otherwise; the other file is the one a
// change or a foreign host brings.
class HostilePackageServer {
public:
    enum class Fault {
        NONE,
        // Every 206 names (and carries) the bytes one past the asked first byte.
        WRONG_CONTENT_RANGE,
        // After the first two GETs the file is the other one, with tag "v2"; If-Range is
        // honoured (a mismatch gets the whole new file).
        CHANGES_ONCE,
        // As CHANGES_ONCE, but If-Range is ignored: 206s of the new file with its new tag.
        CHANGES_IGNORING_IF_RANGE,
        // Every GET brings another version of the file.
        CHANGES_ALWAYS,
        // Answers stop half way; their retries find the other file (If-Range ignored, no tag).
        SHORT_THEN_NEW_FILE_WITHOUT_TAG,
        // GETs get a 300 with a body of 'X', or a 503 with an error page.
        MULTIPLE_CHOICES_BODY,
        SERVER_ERROR_BODY,
        // GETs are sent to a second server (another origin) with the other file.
        REDIRECT_TO_OTHER_HOST,
        // The probe announces 10 GB; GETs get endless bytes.
        ANNOUNCES_TEN_GIGABYTES,
    };

    HostilePackageServer(Fault fault, int64_t size);
    ~HostilePackageServer();

    bool running() const { return running_; }
    std::string url() const { return server_.url("/package.exe"); }
    const std::string& file() const { return file_; }
    const std::string& otherFile() const { return other_; }
    // Body bytes sent by both servers, and the requests the first one saw.
    int64_t bodyBytesSent() const { return sent_; }
    size_t getCount() const;

private:
    void Answer(const FaultRequest& request, int fd);
    void AnswerWith(const FaultRequest& request, int fd, const std::string& content,
                    const std::string& tag, bool partial_answers);
    void Stream(int fd, int64_t length);

    Fault fault_;
    std::string file_;
    std::string other_;
    FaultServer server_;
    FaultServer elsewhere_;
    bool running_ = false;
    std::atomic<int> gets_{0};
    std::atomic<int64_t> sent_{0};
};

} // namespace inkwarden::test

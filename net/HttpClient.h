#pragma once

#include "net/CurlTransfer.h"
#include "net/HttpResponse.h"
#include "net/TransferProgress.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace inkwarden {

// POSTs a text body with one header line over one reusable transfer handle. One thread at a
// time posts; ReleaseHandle may come from any thread and ends a running Post.
class HttpClient {
public:
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    bool EnsureHandle();

    // body must stay unchanged until Post returns; it is not copied.
    HttpResponse Post(const std::string& url, const std::string& body, const std::string& header);

    // As above with several header lines; the values of the reply header named reply_header
    // (compared ignoring case; "" for none) come back in picked_header_values.
    HttpResponse Post(const std::string& url, const std::string& body,
                      const std::vector<std::string>& headers, const std::string& reply_header);
    // As above for several reply headers; their values come back in picked_headers.
    HttpResponse Post(const std::string& url, const std::string& body,
                      const std::vector<std::string>& headers,
                      const std::vector<std::string>& reply_headers);

    void ReleaseHandle();

    // ReleaseHandle that also refuses every Post (status 0, nothing sent) until Reopen: a stop
    // that comes just before a Post starts must not let that Post run its full time.
    void Close();
    void Reopen();

    // The longest one Post may take from the connect to the last byte, whatever the peer does;
    // zero keeps LIMITS.timeout. Set while no Post runs.
    void SetDeadline(std::chrono::milliseconds deadline) { deadline_ = deadline; }
    // A reply body longer than this ends the Post as failed (status 0); zero for no limit.
    // Set while no Post runs.
    void SetBodyLimit(std::size_t bytes) { body_limit_ = bytes; }

    // Every POST's limits: a quick connect and at least a byte a second. Redirects are not
    // followed.
    static constexpr CurlLimits LIMITS{
        .connect_timeout = 3, .low_speed_limit = 1, .low_speed_time = 1, .timeout = 60000};

private:
    static std::size_t OnBodyData(char* data, std::size_t size, std::size_t count, void* client);
    static std::size_t OnHeaderData(char* data, std::size_t size, std::size_t count, void* client);
    static int OnTransferProgress(void* client, curl_off_t received, curl_off_t expected_received,
                                  curl_off_t sent, curl_off_t expected_sent);
    static curl_socket_t OnOpenSocket(void* client, curlsocktype purpose, curl_sockaddr* address);
    static int OnCloseSocket(void* client, curl_socket_t socket);

    bool EnsureHandleLocked();

    CurlEasyHandle handle;
    std::string response;
    TransferProgress progress;
    // The reply headers the running Post looks for, and what it found of each.
    std::vector<std::string> picked_names;
    std::vector<std::vector<std::string>> picked_values;

    // Stop path. handle_lock guards the handle's lifetime: ReleaseHandle frees it only while
    // no Post runs, and otherwise leaves that to the running Post.
    std::mutex handle_lock;
    bool posting = false;
    bool release_pending = false;
    bool closed = false;
    std::chrono::milliseconds deadline_{0};
    std::size_t body_limit_ = 0;
    std::atomic<bool> aborting{false};
    // The handle's open sockets, so that a stop can wake a transfer blocked in poll.
    std::mutex socket_lock;
    std::vector<curl_socket_t> sockets;
};

} // namespace inkwarden

#include "net/HttpClient.h"

#include "platform/TextEncoding.h"

#include <algorithm>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace inkwarden {
namespace {

// A reply cannot make the client keep more than a few copies of the header it looks for.
constexpr std::size_t MAX_PICKED_VALUES = 8;

std::string_view TrimHeaderValue(std::string_view value) {
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!value.empty() && space(value.front())) {
        value.remove_prefix(1);
    }
    while (!value.empty() && space(value.back())) {
        value.remove_suffix(1);
    }
    return value;
}

} // namespace

// How the stop path works: a running Post owns the handle. ReleaseHandle, from any thread,
// never frees a handle in use; it raises an abort flag, which the transfer-info callback
// answers by aborting and which makes Post report status 0, and it shuts the handle's sockets
// down so that a transfer waiting in poll for a slow peer wakes at once instead of at the next
// callback. The running Post then frees the handle itself when it returns. The sockets are
// opened and closed through callbacks under socket_lock, so a shutdown never reaches a socket
// number the handle has already given back.

// The handle is made by the first Post: a client that never posts loads nothing.
HttpClient::HttpClient() = default;

HttpClient::~HttpClient() {
    std::lock_guard<std::mutex> guard(handle_lock);
    handle.reset();
}

bool HttpClient::EnsureHandle() {
    std::lock_guard<std::mutex> guard(handle_lock);
    return EnsureHandleLocked();
}

bool HttpClient::EnsureHandleLocked() {
    if (handle) {
        return true;
    }
    CurlEasyHandle created = NewCurlEasyHandle();
    if (!created) {
        return false;
    }
    CURL* easy = created.get();
    SetBaseOptions(easy, LIMITS, TRANSFER_NO_SIGNAL);
    SetBodyAndProgressSinks(easy, &HttpClient::OnBodyData, this, &HttpClient::OnTransferProgress,
                            this);
    // The stop path's socket bookkeeping.
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &HttpClient::OnOpenSocket);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, &HttpClient::OnCloseSocket);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, this);
    handle = std::move(created);
    return true;
}

HttpResponse HttpClient::Post(const std::string& url, const std::string& body,
                              const std::string& header) {
    return Post(url, body, std::vector<std::string>{header}, std::string());
}

HttpResponse HttpClient::Post(const std::string& url, const std::string& body,
                              const std::vector<std::string>& header_lines,
                              const std::string& reply_header) {
    HttpResponse result = Post(url, body, header_lines,
                               reply_header.empty() ? std::vector<std::string>()
                                                    : std::vector<std::string>{reply_header});
    if (!result.picked_headers.empty()) {
        result.picked_header_values = std::move(result.picked_headers[0]);
        result.picked_headers.clear();
    }
    return result;
}

HttpResponse HttpClient::Post(const std::string& url, const std::string& body,
                              const std::vector<std::string>& header_lines,
                              const std::vector<std::string>& reply_headers) {
    HttpResponse result;
    CURL* easy = nullptr;
    {
        std::lock_guard<std::mutex> guard(handle_lock);
        // Closed, or no handle and none to be had: status 0.
        if (closed || !EnsureHandleLocked()) {
            return result;
        }
        easy = handle.get();
        posting = true;
        aborting.store(false);
    }
    // Fresh counters: -1 until the library reports.
    progress = TransferProgress{-1, -1, -1, -1};
    // The previous request moved its body out; a stray byte must not leak into this one.
    response.clear();
    picked_names = reply_headers;
    picked_values.assign(reply_headers.size(), {});
    CurlHeaderList headers;
    for (const std::string& line : header_lines) {
        curl_slist* longer = curl_slist_append(headers.get(), line.c_str());
        if (longer == nullptr) {
            break; // out of memory: the list so far is still freed below
        }
        headers.release();
        headers.reset(longer);
    }
    SetPostRequest(easy, url, body, headers.get());
    // The library takes the value set last of the two time limits.
    if (deadline_.count() > 0) {
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(deadline_.count()));
    } else {
        curl_easy_setopt(easy, CURLOPT_TIMEOUT, LIMITS.timeout);
    }
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &HttpClient::OnHeaderData);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    const CURLcode code = curl_easy_perform(easy);
    long status = 0;
    result.fault = ClassifyTransfer(easy, code);
    if (result.fault == TransferFault::NONE) {
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    } else {
        result.cause = DescribeTransferFault(easy, code);
    }
    // The list goes; the handle must not keep pointing at it.
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
    headers.reset();
    // The body moves out, and the picked header values with it.
    result.body = std::move(response);
    response.clear();
    result.picked_headers = std::move(picked_values);
    picked_values.clear();
    result.status = static_cast<std::int32_t>(status);
    {
        std::lock_guard<std::mutex> guard(handle_lock);
        posting = false;
        // A stop during the transfer makes it a failure, whatever the peer had sent.
        if (aborting.exchange(false)) {
            result.status = 0;
        }
        if (release_pending) {
            release_pending = false;
            handle.reset();
        }
    }
    return result;
}

void HttpClient::ReleaseHandle() {
    std::lock_guard<std::mutex> guard(handle_lock);
    if (!posting) {
        handle.reset();
        return;
    }
    release_pending = true;
    aborting.store(true);
    std::lock_guard<std::mutex> sockets_guard(socket_lock);
    for (curl_socket_t socket : sockets) {
        ::shutdown(socket, SHUT_RDWR);
    }
}

void HttpClient::Close() {
    {
        std::lock_guard<std::mutex> guard(handle_lock);
        closed = true;
    }
    ReleaseHandle();
}

void HttpClient::Reopen() {
    std::lock_guard<std::mutex> guard(handle_lock);
    closed = false;
}

std::size_t HttpClient::OnBodyData(char* data, std::size_t size, std::size_t count, void* client) {
    const std::size_t length = size * count;
    if (data == nullptr || client == nullptr) {
        return length;
    }
    auto* self = static_cast<HttpClient*>(client);
    // A short count makes the library end the transfer as failed.
    if (self->body_limit_ != 0 && self->response.size() + length > self->body_limit_) {
        return 0;
    }
    try {
        self->response.append(data, length);
    } catch (...) {
        // Out of memory: a short count makes the library end the transfer as failed.
        return 0;
    }
    return length;
}

std::size_t HttpClient::OnHeaderData(char* data, std::size_t size, std::size_t count,
                                     void* client) {
    const std::size_t length = size * count;
    auto* self = static_cast<HttpClient*>(client);
    if (data == nullptr || self == nullptr || self->picked_names.empty()) {
        return length;
    }
    const std::string_view line(data, length);
    // A status line starts the headers of another response (after a 100 Continue, say):
    // only the last response's headers count.
    if (line.rfind("HTTP/", 0) == 0) {
        for (std::vector<std::string>& values : self->picked_values) {
            values.clear();
        }
        return length;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        return length;
    }
    const auto name = std::find_if(
        self->picked_names.begin(), self->picked_names.end(), [&](const std::string& wanted) {
            return EqualsIgnoringAsciiCase(line.substr(0, colon), wanted);
        });
    if (name == self->picked_names.end()) {
        return length;
    }
    std::vector<std::string>& values =
        self->picked_values[static_cast<std::size_t>(name - self->picked_names.begin())];
    if (values.size() >= MAX_PICKED_VALUES) {
        return length;
    }
    try {
        values.emplace_back(TrimHeaderValue(line.substr(colon + 1)));
    } catch (...) {
        return 0; // out of memory: the transfer ends as failed
    }
    return length;
}

int HttpClient::OnTransferProgress(void* client, curl_off_t received, curl_off_t expected_received,
                                   curl_off_t sent, curl_off_t expected_sent) {
    auto* self = static_cast<HttpClient*>(client);
    if (self == nullptr) {
        return 0;
    }
    TransferProgress& stored = self->progress;
    if (stored.received != received || stored.expected_received != expected_received ||
        stored.sent != sent || stored.expected_sent != expected_sent) {
        stored = TransferProgress{received, expected_received, sent, expected_sent};
    }
    // Only the stop path ends a transfer from here.
    return self->aborting.load() ? 1 : 0;
}

curl_socket_t HttpClient::OnOpenSocket(void* client, curlsocktype /*purpose*/,
                                       curl_sockaddr* address) {
    auto* self = static_cast<HttpClient*>(client);
    std::lock_guard<std::mutex> guard(self->socket_lock);
    // A stop that came before the connection: do not start one.
    if (self->aborting.load()) {
        return CURL_SOCKET_BAD;
    }
    const curl_socket_t socket =
        ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    if (socket != CURL_SOCKET_BAD) {
        try {
            self->sockets.push_back(socket);
        } catch (...) {
            ::close(socket);
            return CURL_SOCKET_BAD;
        }
    }
    return socket;
}

int HttpClient::OnCloseSocket(void* client, curl_socket_t socket) {
    auto* self = static_cast<HttpClient*>(client);
    std::lock_guard<std::mutex> guard(self->socket_lock);
    auto& sockets = self->sockets;
    sockets.erase(std::remove(sockets.begin(), sockets.end(), socket), sockets.end());
    return ::close(socket);
}

} // namespace inkwarden

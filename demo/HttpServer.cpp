#include "demo/HttpServer.h"

#include "demo/LogField.h"
#include "demo/RequestDeadlines.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace inkwarden::demo {
namespace {

constexpr int HTTP_BAD_REQUEST = 400;
constexpr int HTTP_NOT_FOUND = 404;
constexpr int HTTP_METHOD_NOT_ALLOWED = 405;
constexpr int HTTP_LENGTH_REQUIRED = 411;
constexpr int HTTP_PAYLOAD_TOO_LARGE = 413;
constexpr int HTTP_HEADERS_TOO_LARGE = 431;
constexpr std::size_t BODY_BLOCK = 16384;
// A body a little over the limit is read and dropped before the 413, so that a client that
// sends it whole gets to read the answer instead of a reset; a larger one is refused at once.
constexpr std::size_t DRAIN_LIMIT = 4 << 20;
// How long a stop waits for the requests under way (an event waits at most 2 s in its queue).
constexpr std::chrono::seconds STOP_GRACE{3};
// Room in each connection's memory beyond the head: the library keeps the answer's head and
// its read and write buffers there too.
constexpr std::size_t CONNECTION_MEMORY_ROOM = 16384;

// Leaves the target as the client sent it: the handlers decode it by their own rules (a
// decoded "%00" or "%2F" would otherwise be lost before they could refuse it).
std::size_t KeepEscaped(void*, MHD_Connection*, char* text) {
    return std::strlen(text);
}

void LogLibraryMessage(void* logger, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof(text), format, args);
    std::string_view message = text;
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
        message.remove_suffix(1);
    }
    (*static_cast<HttpServer::Logger*>(logger))("http: " + EscapeLogField(message));
}

MHD_Result CollectHeader(void* request, MHD_ValueKind, const char* key, const char* value) {
    static_cast<HttpRequest*>(request)->headers.emplace_back(key, value != nullptr ? value : "");
    return MHD_YES;
}

MHD_Result CollectArgument(void* query, MHD_ValueKind, const char* key, const char* value) {
    std::string& text = *static_cast<std::string*>(query);
    text += text.empty() ? "" : "&";
    text += key;
    if (value != nullptr) {
        text += '=';
        text += value;
    }
    return MHD_YES;
}

ssize_t ReadBody(void* reader, std::uint64_t offset, char* buffer, std::size_t capacity) {
    const ssize_t got = (*static_cast<HttpResponse::BodyReader*>(reader))(offset, buffer, capacity);
    return got > 0 ? got : MHD_CONTENT_READER_END_WITH_ERROR;
}

void FreeBody(void* reader) {
    delete static_cast<HttpResponse::BodyReader*>(reader);
}

bool RouteMatches(const std::string& route, const std::string& path) {
    return route.back() == '/' ? path.size() > route.size() && path.rfind(route, 0) == 0
                               : path == route;
}

} // namespace

// One request while it is read: its parts, and whether the head has been judged.
struct HttpServer::Exchange {
    HttpRequest request;
    bool head_judged = false;
    int refused = 0; // the refusal to send once the body has been read and dropped
    std::string why;
    bool answering = false; // counted among the requests under way
};

struct HttpServer::Callbacks {
    static MHD_Result OnRequest(void* self, MHD_Connection* connection, const char* url,
                                const char* method, const char*, const char* upload,
                                std::size_t* upload_size, void** state) {
        auto& server = *static_cast<HttpServer*>(self);
        auto* exchange = static_cast<Exchange*>(*state);
        if (exchange == nullptr) {
            exchange = new Exchange;
            *state = exchange;
        }
        HttpRequest& request = exchange->request;
        if (!exchange->head_judged) {
            exchange->head_judged = true;
            request.method = method;
            request.path = url;
            MHD_get_connection_values(connection, MHD_HEADER_KIND, CollectHeader, &request);
            MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, CollectArgument,
                                      &request.query);
            const std::size_t head_bytes = std::strlen(method) + std::strlen(url) + 16;
            exchange->refused = server.refusal(request, head_bytes, exchange->why);
            const auto declared = request.header("Content-Length");
            const bool drain =
                exchange->refused == HTTP_PAYLOAD_TOO_LARGE &&
                std::strtoull(declared.value_or("0").c_str(), nullptr, 10) <= DRAIN_LIMIT;
            return exchange->refused == 0 || drain ? MHD_YES
                                                   : Refuse(server, connection, *exchange);
        }
        if (exchange->refused != 0) {
            if (*upload_size > 0) {
                *upload_size = 0;
                return MHD_YES;
            }
            return Refuse(server, connection, *exchange);
        }
        if (*upload_size > 0) {
            // The declared length was checked; this guards against the library's own framing.
            const std::size_t room = server.limits_.max_body_bytes - request.body.size();
            request.body.append(upload, std::min(*upload_size, room));
            *upload_size = 0;
            return MHD_YES;
        }
        server.beginAnswer(connection, *exchange);
        HttpResponse response;
        server.dispatch(request, response);
        return Answer(connection, response);
    }

    static MHD_Result Refuse(HttpServer& server, MHD_Connection* connection, Exchange& exchange) {
        server.beginAnswer(connection, exchange);
        server.logger_(exchange.request.method + " " + EscapeLogField(exchange.request.path) +
                       " -> " + std::to_string(exchange.refused) + " (" + exchange.why + ")");
        HttpResponse refused;
        refused.status = exchange.refused;
        refused.setHeader("Connection", "close");
        return Answer(connection, refused);
    }

    static void OnCompleted(void* self, MHD_Connection* connection, void** state,
                            MHD_RequestTerminationCode) {
        auto& server = *static_cast<HttpServer*>(self);
        server.deadlines_->answered(connection);
        auto* exchange = static_cast<Exchange*>(*state);
        if (exchange != nullptr && exchange->answering) {
            std::lock_guard<std::mutex> lock(server.mutex_);
            --server.answering_;
            server.stopped_.notify_all();
        }
        delete exchange;
        *state = nullptr;
    }

    static void OnConnection(void* self, MHD_Connection* connection, void**,
                             MHD_ConnectionNotificationCode code) {
        RequestDeadlines& deadlines = *static_cast<HttpServer*>(self)->deadlines_;
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            const MHD_ConnectionInfo* info =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            if (info != nullptr) {
                deadlines.opened(connection, info->connect_fd);
            }
        } else {
            deadlines.closed(connection);
        }
    }

    static MHD_Result Answer(MHD_Connection* connection, HttpResponse& answer) {
        MHD_Response* response = nullptr;
        if (answer.reader) {
            auto* reader = new HttpResponse::BodyReader(std::move(answer.reader));
            response = MHD_create_response_from_callback(answer.reader_size, BODY_BLOCK, ReadBody,
                                                         reader, FreeBody);
            if (response == nullptr) {
                delete reader;
            }
        } else {
            response = MHD_create_response_from_buffer(answer.body.size(), answer.body.data(),
                                                       MHD_RESPMEM_MUST_COPY);
        }
        if (response == nullptr) {
            return MHD_NO;
        }
        for (const auto& [name, value] : answer.headers) {
            MHD_add_response_header(response, name.c_str(), value.c_str());
        }
        const MHD_Result queued =
            MHD_queue_response(connection, static_cast<unsigned>(answer.status), response);
        MHD_destroy_response(response);
        return queued;
    }
};

HttpServer::HttpServer(Limits limits, Logger logger)
    : limits_(limits), logger_(std::move(logger)) {}

HttpServer::~HttpServer() {
    if (listen_fd_ >= 0) {
        ::close(listen_fd_);
    }
}

void HttpServer::route(std::string method, std::string path, Handler handler) {
    routes_.push_back({std::move(method), std::move(path), std::move(handler)});
}

bool HttpServer::bind(int port, std::string& error) {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Without SO_REUSEPORT, so that a second service on a taken port fails instead of
    // sharing it silently.
    int yes = 1;
    ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (listen_fd_ < 0 ||
        ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listen_fd_, limits_.listen_backlog) != 0 ||
        ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error = port == 0
                    ? "cannot bind any port on 127.0.0.1"
                    : "port " + std::to_string(port) + " on 127.0.0.1 is in use or not allowed";
        return false;
    }
    port_ = ntohs(address.sin_port);
    return true;
}

void HttpServer::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopping_ || listen_fd_ < 0) {
        return;
    }
    deadlines_ = std::make_unique<RequestDeadlines>(limits_.read_timeout);
    const auto timeout_seconds = static_cast<unsigned>((limits_.read_timeout.count() + 999) / 1000);
    MHD_Daemon* daemon = MHD_start_daemon(
        MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL |
            MHD_USE_ITC | MHD_USE_ERROR_LOG,
        0, nullptr, nullptr, Callbacks::OnRequest, this,
        // The logger comes first, or the library prints what comes before it on its own.
        MHD_OPTION_EXTERNAL_LOGGER, LogLibraryMessage, &logger_, MHD_OPTION_LISTEN_SOCKET,
        listen_fd_, MHD_OPTION_CONNECTION_LIMIT, static_cast<unsigned>(limits_.workers),
        MHD_OPTION_CONNECTION_TIMEOUT, timeout_seconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        limits_.max_head_bytes + CONNECTION_MEMORY_ROOM, MHD_OPTION_NOTIFY_COMPLETED,
        Callbacks::OnCompleted, this, MHD_OPTION_NOTIFY_CONNECTION, Callbacks::OnConnection, this,
        MHD_OPTION_UNESCAPE_CALLBACK, KeepEscaped, nullptr, MHD_OPTION_END);
    if (daemon == nullptr) {
        logger_("http: the server could not start: " + std::string(std::strerror(errno)));
        return;
    }
    listen_fd_ = -1; // the library closes it
    stopped_.wait(lock, [this] { return stopping_; });
    // Requests under way are answered before the server goes: an event that was stored but
    // whose answer was cut would be sent again by its client.
    const MHD_socket listening = MHD_quiesce_daemon(daemon);
    stopped_.wait_for(lock, STOP_GRACE, [this] { return answering_ == 0; });
    lock.unlock();
    MHD_stop_daemon(daemon);
    if (listening != MHD_INVALID_SOCKET) {
        ::close(listening);
    }
}

void HttpServer::beginAnswer(const void* connection, Exchange& exchange) {
    deadlines_->answering(connection);
    std::lock_guard<std::mutex> lock(mutex_);
    exchange.answering = true;
    ++answering_;
}

void HttpServer::stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    stopped_.notify_all();
}

int HttpServer::refusal(const HttpRequest& request, std::size_t head_bytes,
                        std::string& why) const {
    std::string length;
    for (const auto& [name, value] : request.headers) {
        head_bytes += name.size() + value.size() + 4;
        if (name.find_first_of(" \t") != std::string::npos) {
            why = "a blank in a header name";
            return HTTP_BAD_REQUEST;
        }
        if (::strcasecmp(name.c_str(), "Transfer-Encoding") == 0) {
            why = "a body without a declared length";
            return HTTP_LENGTH_REQUIRED;
        }
        if (::strcasecmp(name.c_str(), "Content-Length") == 0) {
            if (!length.empty() && value != length) {
                why = "two different Content-Length values";
                return HTTP_BAD_REQUEST;
            }
            length = value;
        }
    }
    if (head_bytes > limits_.max_head_bytes) {
        why = "head too large";
        return HTTP_HEADERS_TOO_LARGE;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long declared =
        length.empty() ? 0 : std::strtoull(length.c_str(), &end, 10);
    if (!length.empty() && (errno != 0 || *end != '\0' || length.front() == '-')) {
        why = "a bad Content-Length";
        return HTTP_BAD_REQUEST;
    }
    if (declared > limits_.max_body_bytes) {
        why = "body too large";
        return HTTP_PAYLOAD_TOO_LARGE;
    }
    return 0;
}

void HttpServer::dispatch(const HttpRequest& request, HttpResponse& response) const {
    const std::string method = request.method == "HEAD" ? "GET" : request.method;
    bool path_known = false;
    for (const Route& route : routes_) {
        if (!RouteMatches(route.path, request.path)) {
            continue;
        }
        if (route.method == method) {
            route.handler(request, response);
            return;
        }
        path_known = true;
    }
    response.status = path_known ? HTTP_METHOD_NOT_ALLOWED : HTTP_NOT_FOUND;
}

} // namespace inkwarden::demo

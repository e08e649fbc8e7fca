#pragma once

#include "demo/HttpMessage.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace inkwarden::demo {

class RequestDeadlines;

// The service's HTTP server on the embedded HTTP library: one thread per connection up to a
// limit (more wait in the listen backlog), an idle time-out per connection, a memory limit that
// bounds each request's head, and what the library leaves to us: a deadline for each request's
// head and body (408, see RequestDeadlines), and the checks: a body must declare
// its length (411), within the limit (413, refused from the head alone), once (400 for two
// different lengths), and header names carry no blanks (400). The handlers see whole requests
// with the target as sent and answer with a body in memory or one produced piece by piece.
class HttpServer {
public:
    struct Limits {
        std::size_t workers = 128;                    // connections served at once
        std::chrono::milliseconds read_timeout{5000}; // for each request's head and body
        std::size_t max_head_bytes = 16384;           // 431 beyond
        std::size_t max_body_bytes = 1 << 20;         // 413 beyond
        int listen_backlog = 1024;                    // for many clients arriving together
    };
    using Handler = std::function<void(const HttpRequest&, HttpResponse&)>;
    using Logger = std::function<void(const std::string& line)>;

    HttpServer(Limits limits, Logger logger);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // A path that ends in '/' takes every path under it. GET routes answer HEAD as well.
    void route(std::string method, std::string path, Handler handler);

    // Listens on 127.0.0.1:port (0 = any free port). False with a reason.
    bool bind(int port, std::string& error);
    int port() const { return port_; }

    // Serves until stop(); stop() may come from any thread, also before run().
    void run();
    void stop();

private:
    struct Route {
        std::string method;
        std::string path;
        Handler handler;
    };
    struct Exchange;

    struct Callbacks; // the library's entry points
    friend struct Callbacks;

    void beginAnswer(const void* connection, Exchange& exchange);
    int refusal(const HttpRequest& request, std::size_t head_bytes, std::string& why) const;
    void dispatch(const HttpRequest& request, HttpResponse& response) const;

    Limits limits_;
    Logger logger_;
    std::vector<Route> routes_;
    std::unique_ptr<RequestDeadlines> deadlines_; // while serving
    int listen_fd_ = -1;
    int port_ = 0;
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool stopping_ = false;
    int answering_ = 0; // requests whose answer is being made or sent
};

} // namespace inkwarden::demo

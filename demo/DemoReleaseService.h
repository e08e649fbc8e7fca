#pragma once

#include "demo/DemoProtocol.h"
#include "release/LatestVersionInfo.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace inkwarden::demo {

class ReleaseSigner;

// The demo release service: version query, events, packages and the web pages, on loopback.
class DemoReleaseService {
public:
    struct Options {
        std::string release_file;  // JSON with the six fields; "{service}" becomes our address
        std::string packages_dir;  // served under /packages/
        std::int64_t throttle = 0; // bytes per second per connection, 0 = unlimited
        int fail_downloads = 0;    // the first N package requests answer 503
        // Signs the version replies of clients that send a nonce; none: unsigned replies.
        std::shared_ptr<const ReleaseSigner> signer;
    };

    explicit DemoReleaseService(Options options);
    ~DemoReleaseService();

    // Loads the release and binds 127.0.0.1:port (0 = any free port). False with a reason.
    bool bind(int port, std::string& error);
    int port() const { return port_; }
    std::string address() const;

    // Serves until stop() (from another thread or a signal watcher).
    void run();
    void stop();

private:
    bool bindPort(int port, std::string& error);
    bool loadRelease(std::string& error);
    void installRoutes();
    void onLatestVersionQuery(const httplib::Request& req, httplib::Response& res);
    void onEvent(const httplib::Request& req, httplib::Response& res);
    void onEventList(httplib::Response& res);
    void onPackage(const httplib::Request& req, httplib::Response& res);
    void log(const std::string& line);

    Options options_;
    std::unique_ptr<httplib::Server> server_;
    LatestVersionInfo release_;
    int port_ = 0;
    std::atomic<int> package_requests_{0};
    std::mutex events_lock_;
    std::vector<ReceivedEvent> events_;
    std::mutex log_lock_;
};

} // namespace inkwarden::demo

#pragma once

#include "demo/DemoProtocol.h"
#include "demo/HttpMessage.h"
#include "demo/IEventStore.h"
#include "demo/ServedPackage.h"
#include "release/LatestVersionInfo.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace inkwarden::demo {

class EventWriter;
class HttpServer;
class ReleaseSigner;

// The demo release service: version query, events, packages and the web pages, on loopback.
class DemoReleaseService {
public:
    struct Options {
        std::string release_file;  // JSON with the six fields; "{service}" becomes our address
        std::string packages_dir;  // served under /packages/
        std::int64_t throttle = 0; // bytes per second per connection, 0 = unlimited
        int fail_downloads = 0;    // the first N package requests answer 503
        std::string data_dir;      // the SQLite events file lives here
        std::string events;        // empty: SQLite in data_dir; else a postgresql:// URI
        std::size_t workers = 128; // connections served at once
        std::chrono::milliseconds request_deadline{5000}; // a connection silent this long closes
        // Signs the version replies of clients that send a nonce; none: unsigned replies.
        std::shared_ptr<const ReleaseSigner> signer;
    };

    explicit DemoReleaseService(Options options);
    ~DemoReleaseService();

    // Opens the event store, loads the release and binds 127.0.0.1:port (0 = any free
    // port). False with a reason.
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
    void onLatestVersionQuery(const HttpRequest& req, HttpResponse& res);
    void onEvent(const HttpRequest& req, HttpResponse& res);
    void onEventList(const HttpRequest& req, HttpResponse& res);
    void onPackage(const HttpRequest& req, HttpResponse& res);
    void logUndescribedPackage();
    void log(const std::string& line);

    Options options_;
    std::unique_ptr<HttpServer> server_;
    std::unique_ptr<IEventStore> store_;
    std::unique_ptr<EventWriter> writer_; // every append goes through it
    LatestVersionInfo release_;
    // The release file's "Package_mirrors", carried in every reply.
    std::vector<std::string> mirrors_;
    ServedPackage served_package_; // the package fields of the replies
    int port_ = 0;
    std::atomic<int> package_requests_{0};
    std::mutex log_lock_;
};

// The folder for the service's data when --data names none: $XDG_STATE_HOME, else
// ~/.local/state, with "inkwarden-demo-service" under it.
std::string DefaultDataFolder();

} // namespace inkwarden::demo

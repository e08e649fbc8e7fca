#pragma once

#include "tests/support/TempDir.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace inkwarden::test {

// Debian's nginx as a child process on a free loopback port, serving files from a folder of
// its own; configuration, pid, logs and temporary paths all live in a temporary folder.
class NginxServer {
public:
    // location_directives go into the served location (for example "limit_rate 1m;").
    explicit NginxServer(const std::string& location_directives = "");
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    bool running() const { return pid_ > 0; }
    int port() const { return port_; }
    // Path of a file in the served folder, and its address.
    std::string file(const std::string& name) const;
    std::string url(const std::string& name) const;
    // Lines of the access log: "METHOD URI RANGE STATUS", RANGE "-" when none was sent.
    std::vector<std::string> accessLog() const;
    // The Range values of the GET requests for one file, in log order.
    std::vector<std::string> rangesRequested(const std::string& name) const;

private:
    bool Start(const std::string& location_directives);
    void Stop();

    TempDir dir_;
    int port_ = 0;
    pid_t pid_ = -1;
};

} // namespace inkwarden::test

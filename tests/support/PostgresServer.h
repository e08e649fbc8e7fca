#pragma once

#include "tests/support/TempDir.h"

#include <string>
#include <vector>

namespace inkwarden::test {

// A throw-away PostgreSQL cluster from Debian's postgresql package, in a temporary folder,
// reachable only through a Unix socket in that folder; stopped and removed with the object.
// As root the server runs as the package's "postgres" user (it refuses to run as root).
// running() is false (and why() says why) where the package is missing; the test skips.
class PostgresServer {
public:
    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    bool running() const { return running_; }
    const std::string& why() const { return why_; }

    // A libpq connection URI for the cluster's "postgres" database.
    std::string uri() const;

    // Runs one statement through psql and returns what it printed (unaligned, no headers).
    std::string query(const std::string& sql) const;

private:
    int run(const std::vector<std::string>& command, const std::string& output) const;
    bool start();

    TempDir dir_;
    std::string bin_;
    bool as_postgres_ = false;
    bool running_ = false;
    std::string why_;
};

} // namespace inkwarden::test

#pragma once

#include <optional>
#include <string>

namespace inkwarden {

// A user name and password for proxies. They live in this process's memory for the run and
// nowhere else: no file, no log line, no command line.
struct ProxyCredentials {
    std::string user;
    std::string password;
};

// Keeps credentials for the proxy "HOST:PORT", or for every proxy when proxy is empty (a
// command line's --proxy-user).
void RememberProxyCredentials(const std::string& proxy, const ProxyCredentials& credentials);

// The credentials kept for proxy: its own first, then those for every proxy.
std::optional<ProxyCredentials> ProxyCredentialsFor(const std::string& proxy);

} // namespace inkwarden

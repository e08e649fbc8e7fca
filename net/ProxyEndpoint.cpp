#include "net/ProxyEndpoint.h"

#include <algorithm>
#include <array>
#include <gio/gio.h>
#include <memory>
#include <string_view>

namespace inkwarden {
namespace {

// The schemes a resolver answers with that the transfer library can use, with their default
// ports.
struct SchemePort {
    std::string_view scheme;
    int port;
};
constexpr std::array<SchemePort, 6> SCHEMES{{{"http", 80},
                                             {"https", 443},
                                             {"socks", 1080},
                                             {"socks4", 1080},
                                             {"socks4a", 1080},
                                             {"socks5", 1080}}};

struct UriDeleter {
    void operator()(GUri* uri) const { g_uri_unref(uri); }
};

std::string Text(const char* text) {
    return text != nullptr ? std::string(text) : std::string();
}

} // namespace

std::string ProxyEndpoint::Name() const {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string ProxyEndpoint::Address() const {
    return scheme + "://" + Name();
}

std::optional<ProxyEndpoint> ParseProxyAddress(const std::string& address) {
    std::unique_ptr<GUri, UriDeleter> uri(
        g_uri_parse(address.c_str(), G_URI_FLAGS_HAS_PASSWORD, nullptr));
    if (!uri || g_uri_get_host(uri.get()) == nullptr || *g_uri_get_host(uri.get()) == '\0') {
        return std::nullopt;
    }
    ProxyEndpoint endpoint;
    endpoint.scheme = Text(g_uri_get_scheme(uri.get())); // GUri gives it in lower case
    const auto known = std::find_if(SCHEMES.begin(), SCHEMES.end(), [&](const SchemePort& s) {
        return s.scheme == endpoint.scheme;
    });
    if (known == SCHEMES.end()) {
        return std::nullopt;
    }
    // The library's own name for plain SOCKS is version 4.
    if (endpoint.scheme == "socks") {
        endpoint.scheme = "socks4";
    }
    endpoint.host = Text(g_uri_get_host(uri.get()));
    const int port = g_uri_get_port(uri.get());
    endpoint.port = port > 0 ? port : known->port;
    if (endpoint.port > 65535) {
        return std::nullopt;
    }
    endpoint.user = Text(g_uri_get_user(uri.get()));
    endpoint.password = Text(g_uri_get_password(uri.get()));
    return endpoint;
}

} // namespace inkwarden

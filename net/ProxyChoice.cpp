#include "net/ProxyChoice.h"

#include "net/ProxyCredentials.h"
#include "net/ProxyEndpoint.h"
#include "platform/DiagnosticSink.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gio/gio.h>
#include <map>
#include <mutex>
#include <netdb.h>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace inkwarden {
namespace {

using Clock = std::chrono::steady_clock;

// How long a proxy that took or refused a connection is believed to do so again: a list of
// proxies is then not checked anew for every segment of a download.
constexpr auto PROXY_STATE_MEMORY = std::chrono::seconds(30);
// A proxy that takes longer than this to accept is passed over for the next one of the list.
constexpr int PROXY_CONNECT_CHECK_MS = 2000;
// The PAC file is small; a server that takes longer is treated as not answering.
constexpr long PAC_FETCH_TIMEOUT_S = 5;

std::mutex g_lock;
std::map<CURL*, std::string> g_chosen; // handle → "HOST:PORT"; the allocator reuses handles
std::set<CURL*> g_signed_in;           // handles that carry a user name for their proxy
std::map<std::string, std::pair<bool, Clock::time_point>> g_reachable; // proxy → (up, when)
std::map<std::string, bool> g_pac_readable;                            // PAC URL → readable

void RememberChoice(CURL* curl, const std::string& proxy, bool signed_in = false) {
    std::lock_guard<std::mutex> guard(g_lock);
    if (proxy.empty()) {
        g_chosen.erase(curl);
    } else {
        g_chosen[curl] = proxy;
    }
    if (signed_in) {
        g_signed_in.insert(curl);
    } else {
        g_signed_in.erase(curl);
    }
}

// Whether a TCP connection to the proxy opens within PROXY_CONNECT_CHECK_MS.
bool Connects(const ProxyEndpoint& proxy) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(proxy.host.c_str(), std::to_string(proxy.port).c_str(), &hints, &found) !=
        0) {
        return false;
    }
    bool connected = false;
    for (addrinfo* at = found; at != nullptr && !connected; at = at->ai_next) {
        const int fd = ::socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                                at->ai_protocol);
        if (fd < 0) {
            continue;
        }
        if (::connect(fd, at->ai_addr, at->ai_addrlen) == 0) {
            connected = true;
        } else if (errno == EINPROGRESS) {
            pollfd waiting{fd, POLLOUT, 0};
            int error = 0;
            socklen_t length = sizeof error;
            connected = ::poll(&waiting, 1, PROXY_CONNECT_CHECK_MS) == 1 &&
                        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
        }
        ::close(fd);
    }
    ::freeaddrinfo(found);
    return connected;
}

bool Reachable(const ProxyEndpoint& proxy) {
    const std::string name = proxy.Name();
    {
        std::lock_guard<std::mutex> guard(g_lock);
        const auto known = g_reachable.find(name);
        if (known != g_reachable.end() &&
            Clock::now() - known->second.second < PROXY_STATE_MEMORY) {
            return known->second.first;
        }
    }
    const bool up = Connects(proxy);
    std::lock_guard<std::mutex> guard(g_lock);
    g_reachable[name] = {up, Clock::now()};
    return up;
}

// The desktop's answer for url: proxy addresses and "direct://" in the order to try them;
// empty when no resolver module is installed (the transfer library then reads the
// environment itself, as before).
std::vector<std::string> DesktopProxies(const std::string& url) {
    GProxyResolver* resolver = g_proxy_resolver_get_default();
    if (resolver == nullptr ||
        std::strcmp(G_OBJECT_TYPE_NAME(resolver), "GDummyProxyResolver") == 0) {
        return {};
    }
    GError* error = nullptr;
    gchar** answer = g_proxy_resolver_lookup(resolver, url.c_str(), nullptr, &error);
    std::vector<std::string> proxies;
    if (answer == nullptr) {
        PrintDiagnostic("proxy lookup for %s failed: %s\n", url.c_str(),
                        error != nullptr ? error->message : "no answer");
        g_clear_error(&error);
        return proxies;
    }
    for (gchar** entry = answer; *entry != nullptr; ++entry) {
        proxies.emplace_back(*entry);
    }
    g_strfreev(answer);
    return proxies;
}

// The PAC address of GNOME's settings when they say to use one; empty otherwise.
std::string DesktopPacUrl() {
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (desktop == nullptr || std::strstr(desktop, "GNOME") == nullptr || source == nullptr) {
        return std::string();
    }
    GSettingsSchema* schema =
        g_settings_schema_source_lookup(source, "org.gnome.system.proxy", TRUE);
    if (schema == nullptr) {
        return std::string();
    }
    g_settings_schema_unref(schema);
    GSettings* settings = g_settings_new("org.gnome.system.proxy");
    gchar* mode = g_settings_get_string(settings, "mode");
    gchar* pac = g_settings_get_string(settings, "autoconfig-url");
    std::string url = std::strcmp(mode, "auto") == 0 ? pac : "";
    g_free(pac);
    g_free(mode);
    g_object_unref(settings);
    return url;
}

std::size_t DiscardBody(char*, std::size_t size, std::size_t count, void*) {
    return size * count;
}

// Whether the PAC file answers at all; read once per run. The resolver reads it again for
// itself, but says nothing when it cannot.
bool PacReadable(const std::string& url) {
    {
        std::lock_guard<std::mutex> guard(g_lock);
        const auto known = g_pac_readable.find(url);
        if (known != g_pac_readable.end()) {
            return known->second;
        }
    }
    bool readable = false;
    if (CURL* curl = curl_easy_init()) {
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_PROXY, ""); // a PAC file is fetched direct
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT, PAC_FETCH_TIMEOUT_S);
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &DiscardBody);
        long status = 0;
        if (curl_easy_perform(curl) == CURLE_OK) {
            curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        }
        // file:// answers without a status.
        readable = status == 200 || (status == 0 && std::strncmp(url.c_str(), "file:", 5) == 0);
        curl_easy_cleanup(curl);
    }
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_pac_readable.emplace(url, readable).second && !readable) {
        PrintDiagnostic("the PAC file at %s could not be read; transfers go direct\n", url.c_str());
        std::fflush(stdout);
    }
    return readable;
}

void SetDirect(CURL* curl) {
    // An empty proxy also keeps the environment's out of it: the desktop said direct.
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    RememberChoice(curl, std::string());
}

void SetProxy(CURL* curl, const ProxyEndpoint& proxy) {
    const std::string address = proxy.Address();
    curl_easy_setopt(curl, CURLOPT_PROXY, address.c_str());
    // Basic, Digest, NTLM and Negotiate, as far as the library was built with them.
    curl_easy_setopt(curl, CURLOPT_PROXYAUTH, CURLAUTH_ANY);
    // Those given in this run (a prompt, a command line) over those of the settings, which a
    // 407 may have shown to be wrong.
    std::optional<ProxyCredentials> credentials = ProxyCredentialsFor(proxy.Name());
    if (!credentials && !proxy.user.empty()) {
        credentials = ProxyCredentials{proxy.user, proxy.password};
    }
    // Never part of the address string: that one may reach a diagnostic line.
    curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME,
                     credentials ? credentials->user.c_str() : nullptr);
    curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD,
                     credentials ? credentials->password.c_str() : nullptr);
    RememberChoice(curl, proxy.Name(), credentials.has_value());
}

} // namespace

void FollowDesktopProxySettings() {
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    if (desktop == nullptr || std::getenv("KDE_FULL_SESSION") != nullptr) {
        return;
    }
    // A colon-separated list, e.g. "KDE" or "ubuntu:KDE".
    const std::string names = std::string(":") + desktop + ":";
    if (names.find(":KDE:") != std::string::npos) {
        ::setenv("KDE_FULL_SESSION", "true", 0);
    }
}

void SetProxyFor(CURL* curl, const std::string& url) {
    const std::vector<std::string> answer = DesktopProxies(url);
    if (answer.empty()) {
        // The library's own default, which reads the environment; a reused handle must not
        // keep the proxy of its last request.
        curl_easy_setopt(curl, CURLOPT_PROXY, nullptr);
        RememberChoice(curl, std::string());
        return;
    }
    const std::string pac = DesktopPacUrl();
    if (!pac.empty() && !PacReadable(pac)) {
        SetDirect(curl);
        return;
    }
    // The first that takes a connection; when none does, the first, whose refusal becomes the
    // transfer's cause.
    std::optional<ProxyEndpoint> first;
    for (const std::string& entry : answer) {
        const std::optional<ProxyEndpoint> proxy = ParseProxyAddress(entry);
        if (!proxy) {
            if (entry == "direct://") {
                SetDirect(curl);
                return;
            }
            continue; // a kind of proxy the library cannot use
        }
        if (Reachable(*proxy)) {
            SetProxy(curl, *proxy);
            return;
        }
        if (!first) {
            first = proxy;
        }
    }
    if (first) {
        SetProxy(curl, *first);
    } else {
        SetDirect(curl);
    }
}

bool SignsInToProxy(CURL* curl) {
    std::lock_guard<std::mutex> guard(g_lock);
    return g_signed_in.count(curl) != 0;
}

std::string ProxyOfTransfer(CURL* curl) {
    std::lock_guard<std::mutex> guard(g_lock);
    const auto chosen = g_chosen.find(curl);
    return chosen != g_chosen.end() ? chosen->second : std::string();
}

} // namespace inkwarden

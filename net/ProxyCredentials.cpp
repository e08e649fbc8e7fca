#include "net/ProxyCredentials.h"

#include "platform/DiagnosticSink.h"

#include <map>
#include <mutex>

namespace inkwarden {
namespace {

std::mutex g_lock;
std::map<std::string, ProxyCredentials> g_credentials;

} // namespace

void RememberProxyCredentials(const std::string& proxy, const ProxyCredentials& credentials) {
    // Whatever a diagnostic line may quote, the password never reaches the log.
    DiagnosticSink::Shared().Conceal(credentials.password);
    std::lock_guard<std::mutex> guard(g_lock);
    g_credentials[proxy] = credentials;
}

std::optional<ProxyCredentials> ProxyCredentialsFor(const std::string& proxy) {
    std::lock_guard<std::mutex> guard(g_lock);
    for (const std::string& key : {proxy, std::string()}) {
        const auto found = g_credentials.find(key);
        if (found != g_credentials.end()) {
            return found->second;
        }
    }
    return std::nullopt;
}

} // namespace inkwarden

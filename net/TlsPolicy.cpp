#include "net/TlsPolicy.h"

#include "BuildConfig.h"

#include <mutex>

namespace inkwarden {
namespace {

std::mutex g_bundle_lock;
std::string g_bundle = build_config::CA_BUNDLE;

} // namespace

void SetCaBundle(const std::string& path) {
    std::lock_guard<std::mutex> guard(g_bundle_lock);
    g_bundle = path.empty() ? std::string(build_config::CA_BUNDLE) : path;
}

std::string CaBundle() {
    std::lock_guard<std::mutex> guard(g_bundle_lock);
    return g_bundle;
}

void SetTlsOptions(CURL* curl) {
    constexpr bool verify = build_config::TLS_VERIFY;
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, verify ? 1L : 0L);
    // 2: the name must match the certificate (1 is no longer a level of its own).
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, verify ? 2L : 0L);
    // Without a bundle the library's built-in system store applies. It copies the text.
    const std::string bundle = CaBundle();
    if (!bundle.empty()) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, bundle.c_str());
    }
}

} // namespace inkwarden

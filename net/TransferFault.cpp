#include "net/TransferFault.h"

#include "net/ProxyChoice.h"
#include "net/TlsPolicy.h"

#include <mutex>
#include <utility>

namespace inkwarden {
namespace {

std::mutex g_lasting_lock;
LastingFault g_lasting;

TransferFault Remember(TransferFault fault, const std::string& proxy) {
    if (fault != TransferFault::NONE && !IsRetryableFault(fault)) {
        std::lock_guard<std::mutex> guard(g_lasting_lock);
        g_lasting = LastingFault{fault, proxy};
    }
    return fault;
}

TransferFault Classify(CURL* curl, CURLcode code, const std::string& proxy) {
    if (!proxy.empty()) {
        // A 407 arrives as the answer of a plain request, or as the answer to the tunnel's
        // CONNECT, after which the library reports a failed connection.
        long status = 0;
        long connect_status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        curl_easy_getinfo(curl, CURLINFO_HTTP_CONNECTCODE, &connect_status);
        if (status == 407 || connect_status == 407) {
            return TransferFault::PROXY_AUTH_REQUIRED;
        }
        // Some proxies turn down credentials they were given with 401 rather than 407; our
        // services never ask for a sign-in of their own.
        if ((status == 401 || connect_status == 401) && SignsInToProxy(curl)) {
            return TransferFault::PROXY_AUTH_REQUIRED;
        }
        // Without a CONNECT answer the proxy itself was not reached.
        if ((code == CURLE_COULDNT_CONNECT && connect_status == 0) ||
            code == CURLE_COULDNT_RESOLVE_PROXY) {
            return TransferFault::PROXY_REFUSED;
        }
    }
    switch (code) {
    case CURLE_OK:
        return TransferFault::NONE;
    case CURLE_PEER_FAILED_VERIFICATION:
        return TransferFault::CERTIFICATE_UNTRUSTED;
    case CURLE_SSL_CACERT_BADFILE:
        return TransferFault::CA_BUNDLE_UNREADABLE;
    default:
        return TransferFault::NETWORK;
    }
}

} // namespace

TransferFault ClassifyTransfer(CURL* curl, CURLcode code) {
    const std::string proxy = ProxyOfTransfer(curl);
    return Remember(Classify(curl, code, proxy), proxy);
}

LastingFault TakeLastingFault() {
    std::lock_guard<std::mutex> guard(g_lasting_lock);
    return std::exchange(g_lasting, LastingFault{});
}

bool IsRetryableFault(TransferFault fault) {
    return fault == TransferFault::NETWORK || fault == TransferFault::PROXY_REFUSED;
}

std::string DescribeTransferFault(CURL* curl, CURLcode code) {
    switch (ClassifyTransfer(curl, code)) {
    case TransferFault::CERTIFICATE_UNTRUSTED:
        return "the update service's certificate is not trusted";
    case TransferFault::CA_BUNDLE_UNREADABLE:
        return CaBundle().empty() ? std::string("the system's CA store could not be read")
                                  : "the CA bundle " + CaBundle() + " could not be read";
    case TransferFault::PROXY_REFUSED:
        return "the proxy " + ProxyOfTransfer(curl) + " refused the connection";
    case TransferFault::PROXY_AUTH_REQUIRED:
        return "the proxy " + ProxyOfTransfer(curl) + " asks for a user name and password";
    case TransferFault::NONE:
    case TransferFault::NETWORK:
        break;
    }
    return curl_easy_strerror(code);
}

} // namespace inkwarden

#pragma once

#include "release/LatestVersionInfo.h"
#include "release/PackageFields.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace inkwarden::demo {
class ReleaseSigner;
}

namespace inkwarden::test {

// A version service and package server of the tests' own on a free loopback port, answering
// as someone on the network path would: a signature that is flipped, made for another nonce,
// or no longer matches the reply; no signature; and packages that differ from what the reply
// announces. It records the nonces it was sent and counts the package requests.
class HostileReleaseServer {
public:
    enum class Reply {
        SIGNED,                 // honest: signed for this nonce, request and reply
        FLIPPED_SIGNATURE_BYTE, // one bit of the signature flipped
        OTHER_NONCE,            // a valid signature from another exchange (a replay)
        ALTERED_AFTER_SIGNING,  // signed, then the package URLs swapped
        UNSIGNED,
        TWO_SIGNATURES, // the honest signature and a second one
    };

    struct Script {
        Reply reply = Reply::SIGNED;
        // "{server}" in the URLs becomes this server's address.
        LatestVersionInfo release;
        PackageFields package;     // the fields the reply announces
        std::string package_bytes; // what every /packages/ request gets
        // Sent as the signing-key header with every reply when not empty.
        std::string signing_key_header;
    };

    // signer signs the replies (not owned; it must outlive the server).
    HostileReleaseServer(const demo::ReleaseSigner& signer, Script script);
    ~HostileReleaseServer();
    HostileReleaseServer(const HostileReleaseServer&) = delete;
    HostileReleaseServer& operator=(const HostileReleaseServer&) = delete;

    bool running() const { return port_ > 0; }
    std::string address() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::string versionUrl() const;

    int queries() const { return queries_; }
    int packageRequests() const { return package_requests_; }
    std::vector<std::string> nonces() const;

    // The URL the ALTERED_AFTER_SIGNING reply puts in place of the release's.
    static constexpr const char* SWAPPED_PACKAGE = "/packages/swapped.bin";

private:
    std::string replyBody(const LatestVersionInfo& release) const;
    std::string signatureFor(const std::string& nonce, const std::string& request,
                             const std::string& reply) const;

    const demo::ReleaseSigner& signer_;
    Script script_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    std::atomic<bool> listen_ended_{false};
    std::atomic<int> queries_{0};
    std::atomic<int> package_requests_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> nonces_;
};

} // namespace inkwarden::test

#include "tests/support/HostileReleaseServer.h"

#include "demo/DemoProtocol.h"
#include "demo/ReleaseSigner.h"
#include "net/ServiceProtocol.h"
#include "release/ReleaseNonce.h"
#include "release/ReleaseSignature.h"

#include <chrono>
#include <httplib.h>

namespace inkwarden::test {
namespace {

// Bit flipped in the FLIPPED_SIGNATURE_BYTE reply, somewhere inside the signature.
constexpr std::size_t FLIPPED_BYTE = 17;

std::string Substitute(std::string text, const std::string& address) {
    const std::string marker = "{server}";
    for (std::size_t at = text.find(marker); at != std::string::npos; at = text.find(marker)) {
        text.replace(at, marker.size(), address);
    }
    return text;
}

} // namespace

HostileReleaseServer::HostileReleaseServer(const demo::ReleaseSigner& signer, Script script)
    : signer_(signer), script_(std::move(script)), server_(std::make_unique<httplib::Server>()) {
    server_->Post(LATEST_VERSION_PATH, [this](const httplib::Request& req, httplib::Response& res) {
        ++queries_;
        const std::string nonce = req.get_header_value(NONCE_HEADER);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            nonces_.push_back(nonce);
        }
        const std::string honest = replyBody(script_.release);
        std::string sent = honest;
        if (script_.reply == Reply::ALTERED_AFTER_SIGNING) {
            LatestVersionInfo swapped = script_.release;
            swapped.Download_url = swapped.Download_silent_url =
                std::string("{server}") + SWAPPED_PACKAGE;
            sent = replyBody(swapped);
        }
        const std::string signature = signatureFor(nonce, req.body, honest);
        if (!signature.empty()) {
            res.set_header(SIGNATURE_HEADER, signature);
        }
        if (!script_.signing_key_header.empty()) {
            res.set_header(SIGNING_KEY_HEADER, script_.signing_key_header);
        }
        if (script_.reply == Reply::TWO_SIGNATURES) {
            res.set_header(SIGNATURE_HEADER, signatureFor(NewReleaseNonce(), req.body, honest));
        }
        res.set_content(sent, "application/json");
    });
    server_->Get("/packages/(.+)", [this](const httplib::Request&, httplib::Response& res) {
        ++package_requests_;
        res.set_header("Accept-Ranges", "bytes");
        res.set_content(script_.package_bytes, "application/octet-stream");
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ > 0) {
        thread_ = std::thread([this] {
            server_->listen_after_bind();
            listen_ended_ = true;
        });
        // A stop before the loop runs is lost, and the destructor's join would wait forever
        // (a test that never asks the server ends that quickly).
        while (!server_->is_running() && !listen_ended_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
}

HostileReleaseServer::~HostileReleaseServer() {
    server_->stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::string HostileReleaseServer::versionUrl() const {
    return address() + LATEST_VERSION_PATH;
}

std::vector<std::string> HostileReleaseServer::nonces() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return nonces_;
}

std::string HostileReleaseServer::replyBody(const LatestVersionInfo& release) const {
    LatestVersionInfo placed = release;
    for (std::string* url : {&placed.Download_url, &placed.Download_silent_url}) {
        *url = Substitute(*url, address());
    }
    return demo::EncodeLatestVersionReply(placed, script_.package);
}

std::string HostileReleaseServer::signatureFor(const std::string& nonce, const std::string& request,
                                               const std::string& reply) const {
    switch (script_.reply) {
    case Reply::UNSIGNED:
        return {};
    case Reply::OTHER_NONCE:
        return signer_.signReply(NewReleaseNonce(), request, reply);
    case Reply::FLIPPED_SIGNATURE_BYTE: {
        const std::optional<ReleaseSignatureBytes> honest =
            signer_.sign(SignedReleaseMessage(nonce, request, reply));
        if (!honest) {
            return {};
        }
        ReleaseSignatureBytes flipped = *honest;
        flipped[FLIPPED_BYTE] ^= 1;
        return SignatureHeaderValue(flipped);
    }
    default:
        return signer_.signReply(nonce, request, reply);
    }
}

} // namespace inkwarden::test

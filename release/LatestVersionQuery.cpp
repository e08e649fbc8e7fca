#include "release/LatestVersionQuery.h"

#include "net/HttpResponse.h"
#include "platform/DiagnosticSink.h"
#include "release/ReleaseNonce.h"
#include "release/ReleaseSignature.h"
#include "release/ReplyTrust.h"
#include "telemetry/CPCIDCalculator.h"
#include "telemetry/PayloadCipher.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace inkwarden {

std::string BuildLatestVersionRequest(const LatestVersionRequest& request) {
    // nlohmann's object keeps its keys sorted, which gives the a, p, s, u, v order.
    nlohmann::json body = nlohmann::json::object();
    body["s"] = request.s;
    body["v"] = request.v;
    body["a"] = request.a;
    body["u"] = request.u;
    body["p"] = request.p;
    return body.dump();
}

LatestVersionInfo ParseLatestVersion(const std::string& text) {
    LatestVersionInfo info;
    nlohmann::json root = nlohmann::json::parse(text, nullptr, false);
    if (root.is_discarded() || !root.is_object()) {
        return info;
    }
    auto data = root.find("data");
    if (data == root.end() || !data->is_object()) {
        return info;
    }
    std::string LatestVersionInfo::*const fields[] = {
        &LatestVersionInfo::Soft_name,           &LatestVersionInfo::Version_number,
        &LatestVersionInfo::Version_description, &LatestVersionInfo::Download_url,
        &LatestVersionInfo::Download_silent_url, &LatestVersionInfo::Pubdate,
    };
    const char* const names[] = {"Soft_name",    "Version_number",      "Version_description",
                                 "Download_url", "Download_silent_url", "Pubdate"};
    for (size_t i = 0; i < std::size(fields); ++i) {
        auto member = data->find(names[i]);
        if (member == data->end() || !member->is_string()) {
            break; // the fields before the failure keep their values
        }
        info.*fields[i] = member->get<std::string>();
    }
    return info;
}

LatestVersionInfo QueryLatestVersion(HttpClient& client, std::int32_t app_id, std::int32_t union_id,
                                     const std::string& url) {
    return QueryRelease(client, app_id, union_id, url, nullptr).info;
}

ReplySignature CheckReplySignature(const std::vector<std::string>& header_values,
                                   const ReleasePublicKey* key, const std::string& nonce,
                                   const std::string& request_body, const std::string& reply_body) {
    if (header_values.empty()) {
        return ReplySignature::ABSENT;
    }
    if (key == nullptr) {
        return ReplySignature::UNCHECKED;
    }
    // Two signatures leave open which one the reply stands by.
    if (header_values.size() != 1) {
        return ReplySignature::INVALID;
    }
    const std::optional<ReleaseSignatureBytes> signature = ParseSignatureHeader(header_values[0]);
    if (!signature ||
        !key->verify(SignedReleaseMessage(nonce, request_body, reply_body), *signature)) {
        return ReplySignature::INVALID;
    }
    return ReplySignature::VALID;
}

ReleaseReply QueryRelease(HttpClient& client, std::int32_t app_id, std::int32_t union_id,
                          const std::string& url, const ReleasePublicKey* key, UtcTime now) {
    ReleaseReply reply;
    LatestVersionRequest request;
    request.a = app_id;
    request.u = union_id;
    request.p = MachineIdText();

    // Without a nonce a signed reply could be an old one played back.
    const std::string nonce = NewReleaseNonce();
    if (nonce.empty()) {
        PrintDiagnostic("release query: no random bytes for the nonce\n");
        return reply;
    }
    const PayloadKey cipher_key;
    const std::string body =
        Base64Encode(EncryptPayload(cipher_key, BuildLatestVersionRequest(request)));
    const std::vector<std::string> headers = {JSON_HEADER_LINE,
                                              std::string(NONCE_HEADER) + ": " + nonce};
    HttpResponse response = client.Post(
        url, body, headers, std::vector<std::string>{SIGNATURE_HEADER, SIGNING_KEY_HEADER});
    reply.fault = response.fault;
    reply.cause = std::move(response.cause);
    reply.status = response.status;
    if (response.status != HTTP_OK) {
        return reply;
    }
    reply.answered = true;
    // The signature is checked on the bytes as they came, before anything reads them.
    const ReplyTrust trust = CheckReplyTrust(response.picked_headers[0], response.picked_headers[1],
                                             key, nonce, body, response.body, now);
    reply.signature = trust.signature;
    reply.certified_until = trust.certified_until;
    if (key != nullptr && reply.signature != ReplySignature::VALID) {
        return reply;
    }
    const std::string plain = DecryptPayload(cipher_key, Base64Decode(response.body));
    reply.info = ParseLatestVersion(plain);
    reply.package = ParsePackageFields(plain);
    return reply;
}

} // namespace inkwarden

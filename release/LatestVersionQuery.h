#pragma once

#include "net/HttpClient.h"
#include "release/LatestVersionInfo.h"
#include "release/LatestVersionRequest.h"
#include "release/ReleasePublicKey.h"
#include "release/ReleaseReply.h"
#include "release/SigningKeyCertificate.h"

#include <cstdint>
#include <string>
#include <vector>

namespace inkwarden {

// Compact JSON with the keys in ascending byte order: {"a":..,"p":..,"s":..,"u":..,"v":..}.
std::string BuildLatestVersionRequest(const LatestVersionRequest& request);

// Strict parse of the deciphered reply; stops at the first failure and returns what was read.
LatestVersionInfo ParseLatestVersion(const std::string& text);

// One query: enciphered request, POST, deciphered reply. Failures give an empty or partly
// filled record, never an error. The reply is taken whether signed or not.
LatestVersionInfo QueryLatestVersion(HttpClient& client, std::int32_t app_id, std::int32_t union_id,
                                     const std::string& url = LATEST_VERSION_URL);

// The query with its trust: a fresh nonce goes with the request, and with a key the reply's
// signature is checked before the reply is deciphered (one that does not hold leaves the
// record empty). Without a key the reply is deciphered as it is, and a signature it carries
// is UNCHECKED. The package fields are read either way. Deciding what to accept is
// CheckReleaseReply's.
// The key is the release root: it signs replies itself or certifies the key that does (the
// certificate is checked against now).
ReleaseReply QueryRelease(HttpClient& client, std::int32_t app_id, std::int32_t union_id,
                          const std::string& url, const ReleasePublicKey* key,
                          UtcTime now = UtcNow());

// The verdict on the signature headers a reply carried (their values in arrival order).
ReplySignature CheckReplySignature(const std::vector<std::string>& header_values,
                                   const ReleasePublicKey* key, const std::string& nonce,
                                   const std::string& request_body, const std::string& reply_body);

} // namespace inkwarden

#pragma once

#include "release/ReleasePublicKey.h"
#include "release/ReleaseReply.h"
#include "release/SigningKeyCertificate.h"

#include <optional>
#include <string>
#include <vector>

namespace inkwarden {

// The verdict on a version reply's signature under the release root, and until when the key
// that signed it is certified (nothing when the root signed the reply itself).
struct ReplyTrust {
    ReplySignature signature = ReplySignature::ABSENT;
    std::optional<UtcTime> certified_until;
};

// The header values as they came, in arrival order. Without a certificate header the reply
// must be signed by the root itself; with one, the root must have certified the key, the
// certificate must not have run out at now, and the reply must be signed by that key.
ReplyTrust CheckReplyTrust(const std::vector<std::string>& signature_values,
                           const std::vector<std::string>& certificate_values,
                           const ReleasePublicKey* root, const std::string& nonce,
                           const std::string& request_body, const std::string& reply_body,
                           UtcTime now);

} // namespace inkwarden

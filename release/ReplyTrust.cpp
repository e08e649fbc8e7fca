#include "release/ReplyTrust.h"

#include "release/LatestVersionQuery.h"

namespace inkwarden {

ReplyTrust CheckReplyTrust(const std::vector<std::string>& signature_values,
                           const std::vector<std::string>& certificate_values,
                           const ReleasePublicKey* root, const std::string& nonce,
                           const std::string& request_body, const std::string& reply_body,
                           UtcTime now) {
    ReplyTrust trust;
    if (certificate_values.empty() || root == nullptr) {
        trust.signature =
            CheckReplySignature(signature_values, root, nonce, request_body, reply_body);
        return trust;
    }
    if (signature_values.empty()) {
        // A certificate alone vouches for nothing in the reply.
        trust.signature = ReplySignature::INVALID;
        return trust;
    }
    // Two certificates leave open which key the reply stands by.
    if (certificate_values.size() != 1) {
        trust.signature = ReplySignature::INVALID;
        return trust;
    }
    const CertifiedKey certified = CheckSigningKeyHeader(certificate_values[0], *root, now);
    if (certified.check != CertificateCheck::VALID) {
        trust.signature = certified.check == CertificateCheck::EXPIRED ? ReplySignature::KEY_EXPIRED
                                                                       : ReplySignature::INVALID;
        return trust;
    }
    trust.signature =
        CheckReplySignature(signature_values, &*certified.key, nonce, request_body, reply_body);
    if (trust.signature == ReplySignature::VALID) {
        trust.certified_until = certified.certificate.not_after;
    }
    return trust;
}

} // namespace inkwarden

#include "release/ReleaseSignature.h"

#include "release/Sha256.h"
#include "telemetry/PayloadCipher.h"

#include <algorithm>

namespace inkwarden {
namespace {

// 64 bytes: 21 whole groups of three and one byte, written as 86 characters and "==".
constexpr std::size_t SIGNATURE_TEXT_LENGTH = 88;

} // namespace

std::string SignedReleaseMessage(std::string_view nonce, std::string_view request_body,
                                 std::string_view reply_body) {
    std::string message = SIGNATURE_CONTEXT;
    message += '\n';
    message += nonce;
    message += '\n';
    message += Sha256Hex(request_body);
    message += '\n';
    message += reply_body;
    return message;
}

std::optional<ReleaseSignatureBytes> ParseSignatureHeader(std::string_view value) {
    const std::string text(value);
    if (text.size() != SIGNATURE_TEXT_LENGTH) {
        return std::nullopt;
    }
    const std::string bytes = Base64Decode(text);
    // Re-encoding gives the text back only in the canonical form: unused bits zero, no
    // stray padding inside.
    if (bytes.size() != ED25519_SIGNATURE_BYTES || Base64Encode(bytes) != text) {
        return std::nullopt;
    }
    ReleaseSignatureBytes signature{};
    std::copy(bytes.begin(), bytes.end(), signature.begin());
    return signature;
}

std::string SignatureHeaderValue(const ReleaseSignatureBytes& signature) {
    return Base64Encode(std::string(signature.begin(), signature.end()));
}

} // namespace inkwarden

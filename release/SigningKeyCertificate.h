#pragma once

#include "release/ReleasePublicKey.h"
#include "release/ReleaseSignature.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace inkwarden {

// The reply header that carries the certificate of the key that signed the reply: the
// certificate text and the root key's signature over it, each in standard Base64, joined by
// a dot.
inline constexpr const char* SIGNING_KEY_HEADER = "X-Inkwarden-Signing-Key";
// The first line of every certificate text.
inline constexpr const char* CERTIFICATE_CONTEXT = "inkwarden-signing-key-1";
// A machine whose clock runs a little ahead still takes a certificate that has just run out.
inline constexpr std::chrono::hours NOT_AFTER_SLACK{24};

using UtcTime = std::chrono::sys_seconds;

// "YYYY-MM-DDTHH:MM:SSZ" and back; a date that does not exist (February 30, hour 24) is no
// time.
std::string UtcTimeText(UtcTime time);
std::optional<UtcTime> ParseUtcTime(std::string_view text);

// Whether something valid until not_after may still be used at now, with the slack.
bool StillValid(UtcTime not_after, UtcTime now);

// A signing key that the release root vouches for until not_after.
struct SigningKeyCertificate {
    Ed25519KeyBytes key{};
    UtcTime not_after{};

    // The exact certificate text: the context line, "key " and the key in Base64, and
    // "not-after " and the time, each ending in a line feed.
    std::string text() const;
    bool operator==(const SigningKeyCertificate&) const = default;
};

// The certificate text in its one form; nothing for any other bytes.
std::optional<SigningKeyCertificate> ParseCertificateText(std::string_view text);

// The header value's two halves, each Base64 in its canonical form; nothing otherwise.
struct SigningKeyHeader {
    std::string certificate_text; // the decoded text, not yet parsed or checked
    ReleaseSignatureBytes signature{};
};
std::optional<SigningKeyHeader> ParseSigningKeyHeader(std::string_view value);
std::string SigningKeyHeaderValue(std::string_view certificate_text,
                                  const ReleaseSignatureBytes& signature);

// How a certificate header fared against the root key.
enum class CertificateCheck {
    VALID,
    MALFORMED,     // not a header or certificate in the one form
    BAD_SIGNATURE, // the root did not sign this text (another root, or a certified key did)
    EXPIRED,       // not-after, with the slack, lies in the past
};

struct CertifiedKey {
    CertificateCheck check = CertificateCheck::MALFORMED;
    SigningKeyCertificate certificate;   // filled once the text parsed
    std::optional<ReleasePublicKey> key; // only when VALID
};

// The key a header certifies, when the root signed its certificate and it has not run out at
// now. Only the root's signature counts: a certified key certifies nothing further.
CertifiedKey CheckSigningKeyHeader(std::string_view value, const ReleasePublicKey& root,
                                   UtcTime now);

// The machine's clock, to the second.
UtcTime UtcNow();

} // namespace inkwarden

// What the installer reads before it trusts a signing key or an offline bundle: the
// signing-key header (the input's first line), the certificate text and release.json (the
// whole input). Whatever parses must be in its one form, and a forged certificate never holds.
#include "release/OfflineBundle.h"
#include "release/SigningKeyCertificate.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// An Ed25519 public key whose private half nobody holds here.
constexpr const char* ROOT_PEM = "-----BEGIN PUBLIC KEY-----\n"
                                 "MCowBQYDK2VwAyEAu0pGyAvPmOWfEmk6esfCB8lghEYBgsTFZ4vjP7m9/vg=\n"
                                 "-----END PUBLIC KEY-----\n";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace inkwarden;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string header = text.substr(0, text.find('\n'));

    if (const auto parsed = ParseSigningKeyHeader(header)) {
        // Only the canonical text parses, and it comes back unchanged.
        if (SigningKeyHeaderValue(parsed->certificate_text, parsed->signature) != header) {
            std::abort();
        }
    }
    static const auto root = ReleasePublicKey::FromPem(ROOT_PEM);
    if (!root || CheckSigningKeyHeader(header, *root, UtcNow()).check == CertificateCheck::VALID) {
        std::abort();
    }

    if (const auto certificate = ParseCertificateText(text);
        certificate && certificate->text() != text) {
        std::abort();
    }
    if (const auto time = ParseUtcTime(text); time && UtcTimeText(*time) != text) {
        std::abort();
    }
    if (const auto release = ParseOfflineRelease(text)) {
        if (!IsPlainFileName(release->package_file) || release->version_number.empty() ||
            !release->package.complete() || release->package.malformed ||
            !ParseUtcTime(UtcTimeText(release->not_after))) {
            std::abort();
        }
    }
    return 0;
}

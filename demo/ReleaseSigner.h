#pragma once

#include "platform/UniqueResource.h"
#include "release/ReleasePublicKey.h"
#include "release/ReleaseSignature.h"
#include "release/SigningKeyCertificate.h"

#include <openssl/evp.h>
#include <optional>
#include <string>
#include <string_view>

namespace inkwarden::demo {

// The service side of signed version replies: an Ed25519 private key and what it signs.
class ReleaseSigner {
public:
    // A PEM private key file (PKCS #8, as "openssl genpkey" writes it). On failure error says
    // why.
    static std::optional<ReleaseSigner> FromPemFile(const std::string& path, std::string& error);
    static std::optional<ReleaseSigner> FromPem(std::string_view pem, std::string& error);
    // A new key pair from the system's random source.
    static std::optional<ReleaseSigner> Generate();

    std::optional<ReleaseSignatureBytes> sign(std::string_view message) const;

    // The signature header's value for one exchange: the reply body as it goes out, for the
    // request's nonce and body. Empty when the request brought no well-formed nonce (an older
    // client sends none): a nonce of any other form would change the signed layout.
    std::string signReply(std::string_view nonce, std::string_view request_body,
                          std::string_view reply_body) const;

    // The two halves as PEM text ("BEGIN PRIVATE KEY", "BEGIN PUBLIC KEY").
    std::string privatePem() const;
    std::string publicPem() const;
    // The raw 32 bytes of the public half.
    Ed25519KeyBytes publicBytes() const;

    // The signing-key header value that the root key made for this key; sent beside every
    // signature. False, and nothing kept, when the value does not certify this key.
    bool setCertificate(const std::string& header_value, std::string& error);
    const std::string& certificate() const { return certificate_; }
    // When the certificate runs out (only with one).
    UtcTime certifiedUntil() const { return certified_until_; }

    // The signing-key header value by which this key, as the root, certifies signing_key
    // until not_after.
    std::string certify(const Ed25519KeyBytes& signing_key, UtcTime not_after) const;

private:
    explicit ReleaseSigner(EVP_PKEY* key) : key_(key) {}
    UniqueResource<EVP_PKEY, EVP_PKEY_free> key_;
    std::string certificate_;
    UtcTime certified_until_{};
};

// As ReleaseSigner::signReply, and empty without a signer.
std::string SignatureFor(const ReleaseSigner* signer, std::string_view nonce,
                         std::string_view request_body, std::string_view reply_body);

// The signer's certificate header value; empty without a signer or a certificate.
std::string CertificateFor(const ReleaseSigner* signer);

} // namespace inkwarden::demo

#pragma once

#include "platform/UniqueResource.h"
#include "release/ReleaseSignature.h"

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

private:
    explicit ReleaseSigner(EVP_PKEY* key) : key_(key) {}
    UniqueResource<EVP_PKEY, EVP_PKEY_free> key_;
};

// As ReleaseSigner::signReply, and empty without a signer.
std::string SignatureFor(const ReleaseSigner* signer, std::string_view nonce,
                         std::string_view request_body, std::string_view reply_body);

} // namespace inkwarden::demo

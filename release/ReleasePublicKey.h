#pragma once

#include "platform/UniqueResource.h"
#include "release/ReleaseSignature.h"

#include <array>
#include <openssl/evp.h>
#include <optional>
#include <string>
#include <string_view>

namespace inkwarden {

inline constexpr std::size_t ED25519_PUBLIC_KEY_BYTES = 32;
using Ed25519KeyBytes = std::array<unsigned char, ED25519_PUBLIC_KEY_BYTES>;

// The vendor's Ed25519 public key, against which the version replies are checked.
class ReleasePublicKey {
public:
    // A PEM public key ("BEGIN PUBLIC KEY"); nothing when the text holds none or another kind.
    static std::optional<ReleasePublicKey> FromPem(std::string_view pem);
    // The 32 bytes of a raw Ed25519 public key.
    static std::optional<ReleasePublicKey> FromRaw(const Ed25519KeyBytes& raw);

    Ed25519KeyBytes raw() const;

    bool verify(std::string_view message, const ReleaseSignatureBytes& signature) const;

private:
    explicit ReleasePublicKey(EVP_PKEY* key) : key_(key) {}
    UniqueResource<EVP_PKEY, EVP_PKEY_free> key_;
};

} // namespace inkwarden

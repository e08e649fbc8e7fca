#pragma once

#include "platform/UniqueResource.h"
#include "release/ReleaseSignature.h"

#include <openssl/evp.h>
#include <optional>
#include <string>
#include <string_view>

namespace inkwarden {

// The vendor's Ed25519 public key, against which the version replies are checked.
class ReleasePublicKey {
public:
    // A PEM public key ("BEGIN PUBLIC KEY"); nothing when the text holds none or another kind.
    static std::optional<ReleasePublicKey> FromPem(std::string_view pem);

    bool verify(std::string_view message, const ReleaseSignatureBytes& signature) const;

private:
    explicit ReleasePublicKey(EVP_PKEY* key) : key_(key) {}
    UniqueResource<EVP_PKEY, EVP_PKEY_free> key_;
};

} // namespace inkwarden

#pragma once

#include "platform/UniqueResource.h"

#include <openssl/evp.h>
#include <string>
#include <string_view>

namespace inkwarden {

// Hex digits of a SHA-256 digest.
inline constexpr std::size_t SHA256_HEX_DIGITS = 64;

// A SHA-256 digest taken piece by piece, so that a large file never sits in memory.
class Sha256 {
public:
    Sha256();
    // False once the library failed; the digest is then empty.
    bool ok() const { return ok_; }
    void update(std::string_view bytes);
    // Lower-case hex of the digest of everything given so far; empty after a failure. Ends the
    // digest: a later update starts nothing new.
    std::string finishHex();

private:
    UniqueResource<EVP_MD_CTX, EVP_MD_CTX_free> context_;
    bool ok_ = false;
};

// Lower-case hex SHA-256 of bytes.
std::string Sha256Hex(std::string_view bytes);

} // namespace inkwarden

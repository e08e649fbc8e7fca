#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace inkwarden {

// The version query's request header with the client's nonce, and the reply header with the
// service's signature. Peers that know neither ignore them.
inline constexpr const char* NONCE_HEADER = "X-Inkwarden-Nonce";
inline constexpr const char* SIGNATURE_HEADER = "X-Inkwarden-Signature";
// The first line of every signed message: names what is signed and in which layout.
inline constexpr const char* SIGNATURE_CONTEXT = "inkwarden-release-1";

inline constexpr std::size_t ED25519_SIGNATURE_BYTES = 64;
using ReleaseSignatureBytes = std::array<unsigned char, ED25519_SIGNATURE_BYTES>;

// The bytes the service signs: the context, the nonce, the lower-case hex SHA-256 of the exact
// request body and the exact reply body, the first three each ending in a line feed.
std::string SignedReleaseMessage(std::string_view nonce, std::string_view request_body,
                                 std::string_view reply_body);

// A signature header's value, without the blanks around it (the HTTP client drops them):
// standard Base64 of exactly 64 bytes, in its one canonical form (88 characters with "==" at
// the end). Nothing otherwise.
std::optional<ReleaseSignatureBytes> ParseSignatureHeader(std::string_view value);

// The header value that carries a signature.
std::string SignatureHeaderValue(const ReleaseSignatureBytes& signature);

} // namespace inkwarden

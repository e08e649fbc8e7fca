#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace inkwarden {

// Random bytes in a nonce, and the hex digits that carry them.
inline constexpr std::size_t RELEASE_NONCE_BYTES = 16;
inline constexpr std::size_t RELEASE_NONCE_DIGITS = 2 * RELEASE_NONCE_BYTES;

// A fresh nonce for one version query: 16 bytes from the system's random source as 32
// lower-case hex digits. Empty when the system gives no random bytes.
std::string NewReleaseNonce();

// Exactly 32 lower-case hex digits, the only form a nonce travels in.
bool IsReleaseNonce(std::string_view text);

// Lower-case hex of bytes.
std::string HexText(std::string_view bytes);

} // namespace inkwarden

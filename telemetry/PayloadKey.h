#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace inkwarden {

// The version service's shared secret.
inline constexpr std::string_view PAYLOAD_KEY_TEXT = "&1#4!7^2*9$3%8~5";

// The 16-byte AES-128 key: the key text's first 16 bytes, zero-filled when shorter.
struct PayloadKey {
    static constexpr std::size_t SIZE = 16;

    PayloadKey() : PayloadKey(PAYLOAD_KEY_TEXT) {}
    explicit PayloadKey(std::string_view key_text) {
        // ANSI text here is UTF-8 already, so the bytes are taken as they are.
        for (std::size_t i = 0; i < SIZE && i < key_text.size(); ++i) {
            bytes[i] = static_cast<std::uint8_t>(key_text[i]);
        }
    }

    std::array<std::uint8_t, SIZE> bytes{};
};

} // namespace inkwarden

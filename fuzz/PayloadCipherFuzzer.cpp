// Base64 text from the network, deciphered: must never crash or throw.
#include "telemetry/PayloadCipher.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;
    (void)quiet;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const inkwarden::PayloadKey key;
    const std::string cipher = inkwarden::Base64Decode(text);
    const std::string plain = inkwarden::DecryptPayload(key, cipher);
    // Whatever deciphered must come back through the forward direction.
    if (!cipher.empty() && cipher.size() % 16 == 0) {
        std::string checked;
        if (inkwarden::DecryptPayloadChecked(key, cipher, checked) &&
            inkwarden::EncryptPayload(key, checked) != cipher) {
            __builtin_trap();
        }
    }
    if (inkwarden::Base64Decode(inkwarden::Base64Encode(text)) != text) {
        __builtin_trap();
    }
    return 0;
}

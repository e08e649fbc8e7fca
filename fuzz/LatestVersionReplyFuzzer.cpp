// The version reply as the installer reads it: the text straight into the parser, and the same
// bytes as a Base64 body through decipher and parse.
#include "release/LatestVersionQuery.h"
#include "telemetry/PayloadCipher.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    inkwarden::ParseLatestVersion(text);
    const inkwarden::PayloadKey key;
    inkwarden::ParseLatestVersion(inkwarden::DecryptPayload(key, inkwarden::Base64Decode(text)));
    return 0;
}

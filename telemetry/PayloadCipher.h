#pragma once

#include "telemetry/PayloadKey.h"

#include <string>

namespace inkwarden {

// AES-128-ECB with PKCS #7 padding. Nothing is thrown: a cipher failure prints its message
// to standard output and returns what had been produced until then.
std::string EncryptPayload(const PayloadKey& key, const std::string& plain);
std::string DecryptPayload(const PayloadKey& key, const std::string& cipher);

// As DecryptPayload, but also tells whether the cipher text was sound.
bool DecryptPayloadChecked(const PayloadKey& key, const std::string& cipher, std::string& plain);

// Standard Base64 without line breaks. A text whose length is not a multiple of 4, or that
// holds a character outside the alphabet, decodes to nothing.
std::string Base64Encode(const std::string& bytes);
std::string Base64Decode(const std::string& text);

} // namespace inkwarden

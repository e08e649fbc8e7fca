#include "telemetry/PayloadCipher.h"

#include "platform/DiagnosticSink.h"

#include <cryptopp/filters.h>
#include <cryptopp/modes.h>
#include <cryptopp/rijndael.h>
#include <cstdio>
#include <exception>
#include <openssl/evp.h>

namespace inkwarden {
namespace {

// Base64 writes every three bytes as a group of four characters, "=" padding the last group.
constexpr std::size_t GROUP_BYTES = 3;
constexpr std::size_t GROUP_CHARACTERS = 4;
// The block coder takes an int length; large inputs go through in whole groups.
constexpr std::size_t ENCODE_CHUNK = GROUP_BYTES * (1u << 20);
constexpr std::size_t DECODE_CHUNK = GROUP_CHARACTERS * (1u << 20);
// Room for the encoder's terminating zero, and a little more.
constexpr std::size_t ENCODE_SLACK = 5;

template <typename Mode>
bool RunFilter(const PayloadKey& key, const std::string& input, std::string& output) {
    output.clear();
    try {
        Mode mode(key.bytes.data(), key.bytes.size());
        CryptoPP::StreamTransformationFilter filter(mode, new CryptoPP::StringSink(output),
                                                    CryptoPP::BlockPaddingSchemeDef::PKCS_PADDING);
        filter.Put(reinterpret_cast<const CryptoPP::byte*>(input.data()), input.size());
        filter.MessageEnd();
        return true;
    } catch (const CryptoPP::Exception& error) {
        PrintDiagnostic("CryptoPP::Exception caught:%s\n", error.what());
    } catch (const std::exception& error) {
        PrintDiagnostic("std::exception caught:%s\n", error.what());
    }
    return false;
}

} // namespace

std::string EncryptPayload(const PayloadKey& key, const std::string& plain) {
    std::string cipher;
    RunFilter<CryptoPP::ECB_Mode<CryptoPP::Rijndael>::Encryption>(key, plain, cipher);
    return cipher;
}

bool DecryptPayloadChecked(const PayloadKey& key, const std::string& cipher, std::string& plain) {
    return RunFilter<CryptoPP::ECB_Mode<CryptoPP::Rijndael>::Decryption>(key, cipher, plain);
}

std::string DecryptPayload(const PayloadKey& key, const std::string& cipher) {
    std::string plain;
    DecryptPayloadChecked(key, cipher, plain);
    return plain;
}

std::string Base64Encode(const std::string& bytes) {
    std::string text;
    text.reserve((bytes.size() + GROUP_BYTES - 1) / GROUP_BYTES * GROUP_CHARACTERS);
    std::string block(
        std::min(ENCODE_CHUNK, bytes.size()) / GROUP_BYTES * GROUP_CHARACTERS + ENCODE_SLACK, '\0');
    for (std::size_t offset = 0; offset < bytes.size(); offset += ENCODE_CHUNK) {
        const std::size_t length = std::min(ENCODE_CHUNK, bytes.size() - offset);
        const int written =
            EVP_EncodeBlock(reinterpret_cast<unsigned char*>(block.data()),
                            reinterpret_cast<const unsigned char*>(bytes.data()) + offset,
                            static_cast<int>(length));
        text.append(block.data(), static_cast<std::size_t>(written));
    }
    return text;
}

std::string Base64Decode(const std::string& text) {
    // Only whole groups of four decode.
    if (text.size() % GROUP_CHARACTERS != 0) {
        return {};
    }
    // Each "=" decodes as zero bits first.
    std::string bytes;
    bytes.reserve(text.size() / GROUP_CHARACTERS * GROUP_BYTES);
    std::string block(std::min(DECODE_CHUNK, text.size()) / GROUP_CHARACTERS * GROUP_BYTES + 1,
                      '\0');
    for (std::size_t offset = 0; offset < text.size(); offset += DECODE_CHUNK) {
        const std::size_t length = std::min(DECODE_CHUNK, text.size() - offset);
        const int written = EVP_DecodeBlock(
            reinterpret_cast<unsigned char*>(block.data()),
            reinterpret_cast<const unsigned char*>(text.data()) + offset, static_cast<int>(length));
        // The block decoder trims surrounding blanks first and then refuses a ragged group;
        // either way the text is not Base64.
        if (written < 0 ||
            static_cast<std::size_t>(written) != length / GROUP_CHARACTERS * GROUP_BYTES) {
            return {};
        }
        bytes.append(block.data(), static_cast<std::size_t>(written));
    }
    // Every trailing "=" among the last three characters stood for one byte too many.
    for (std::size_t i = 1; i <= GROUP_BYTES && i <= text.size() && text[text.size() - i] == '=';
         ++i) {
        bytes.pop_back();
    }
    return bytes;
}

} // namespace inkwarden

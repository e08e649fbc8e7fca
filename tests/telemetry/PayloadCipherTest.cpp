#include "telemetry/PayloadCipher.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <unistd.h>

namespace inkwarden {
namespace {

std::string Hex(const PayloadKey& key) {
    std::string hex;
    char digits[3];
    for (std::uint8_t b : key.bytes) {
        std::snprintf(digits, sizeof digits, "%02x", b);
        hex += digits;
    }
    return hex;
}

// Runs a shell pipeline over the given input and returns its standard output.
std::string RunPipeline(const std::string& command, const std::string& input) {
    const std::filesystem::path in =
        std::filesystem::temp_directory_path() / ("iw-cipher-" + std::to_string(::getpid()));
    std::ofstream(in, std::ios::binary) << input;
    std::string output;
    if (FILE* pipe = ::popen(("(" + command + ") < " + in.string()).c_str(), "r")) {
        char chunk[4096];
        std::size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) {
            output.append(chunk, got);
        }
        ::pclose(pipe);
    }
    std::filesystem::remove(in);
    return output;
}

TEST(PayloadCipherTest, KeyIsTheKeyTextZeroFilled) {
    EXPECT_EQ(Hex(PayloadKey()), "2631233421375e322a39243325387e35");
    EXPECT_EQ(Hex(PayloadKey("ab")), "61620000000000000000000000000000");
    EXPECT_EQ(Hex(PayloadKey("0123456789abcdefXYZ")), "30313233343536373839616263646566");
}

TEST(PayloadCipherTest, MatchesAnIndependentImplementation) {
    const PayloadKey key;
    const std::string openssl = "openssl enc -aes-128-ecb -K " + Hex(key) + " | base64 -w0";
    for (const std::string& plain :
         {std::string(), std::string("{\"a\":\"7\",\"p\":\"ABC\"}"), std::string(16, 'x'),
          std::string("nul\0inside\0", 11), std::string(1000, '\xe4')}) {
        const std::string ours = Base64Encode(EncryptPayload(key, plain));
        EXPECT_EQ(ours, RunPipeline(openssl, plain)) << plain.size();
        const std::size_t cipher_size = (plain.size() / 16 + 1) * 16;
        EXPECT_EQ(ours.size(), (cipher_size + 2) / 3 * 4);
    }
}

TEST(PayloadCipherTest, Base64MatchesTheSystemTool) {
    for (const std::string& bytes : {std::string("f"), std::string("fo"), std::string("foo"),
                                     std::string("\0\xff\x10", 3), std::string(100, 'q')}) {
        const std::string encoded = Base64Encode(bytes);
        EXPECT_EQ(encoded, RunPipeline("base64 -w0", bytes));
        EXPECT_EQ(Base64Decode(encoded), bytes);
    }
    EXPECT_EQ(Base64Encode(""), "");
    EXPECT_EQ(Base64Decode(""), "");
}

TEST(PayloadCipherTest, Base64DecodeRules) {
    EXPECT_EQ(Base64Decode("Zm9vY"), "");  // 5 characters
    EXPECT_EQ(Base64Decode("Zm9v\n"), ""); // a line break is no part of the text
    EXPECT_EQ(Base64Decode("Zg=="), "f");
    EXPECT_EQ(Base64Decode("Zm8="), "fo");
    EXPECT_EQ(Base64Decode("Z==="), "");
    EXPECT_EQ(Base64Decode("Zm*v"), ""); // outside the alphabet
    EXPECT_EQ(Base64Decode("    "), "");
    // "=" inside the text decodes as zero bits.
    EXPECT_EQ(Base64Decode("Zg==Zm9v"), std::string("f\0\0foo", 6));
}

TEST(PayloadCipherTest, RoundTripsAnyBytes) {
    const PayloadKey key;
    for (std::size_t n : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 100u}) {
        std::string plain;
        for (std::size_t i = 0; i < n; ++i) {
            plain += static_cast<char>(i * 37 % 256); // NUL bytes included
        }
        const std::string cipher = EncryptPayload(key, plain);
        EXPECT_EQ(cipher.size(), 16 * (n / 16 + 1));
        EXPECT_EQ(DecryptPayload(key, Base64Decode(Base64Encode(cipher))), plain);
    }
    const std::string empty = Base64Encode(EncryptPayload(key, ""));
    EXPECT_EQ(empty.size(), 24u);
    EXPECT_THAT(empty, testing::EndsWith("=="));
}

TEST(PayloadCipherTest, BadCipherTextPrintsTheLibraryMessageAndThrowsNothing) {
    const PayloadKey key;
    testing::internal::CaptureStdout();
    std::string plain;
    EXPECT_NO_THROW(plain = DecryptPayload(key, std::string(17, 'c')));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_THAT(out, testing::StartsWith("CryptoPP::Exception caught:"));
    EXPECT_THAT(out, testing::EndsWith("\n"));

    // Whole blocks under another key: the padding check fails.
    const std::string foreign = EncryptPayload(PayloadKey("another key text"), "{\"x\":1}");
    std::string checked;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(DecryptPayloadChecked(key, foreign, checked));
    out = testing::internal::GetCapturedStdout();
    EXPECT_THAT(out, testing::StartsWith("CryptoPP::Exception caught:"));

    EXPECT_TRUE(DecryptPayloadChecked(key, EncryptPayload(key, "ok"), checked));
    EXPECT_EQ(checked, "ok");
}

} // namespace
} // namespace inkwarden

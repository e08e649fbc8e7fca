#include "BuildConfig.h"
#include "demo/DemoProtocol.h"
#include "demo/ReleaseSigner.h"
#include "net/ServiceProtocol.h"
#include "release/PackageFields.h"
#include "release/ReleaseNonce.h"
#include "release/ReleasePublicKey.h"
#include "release/Sha256.h"
#include "telemetry/PayloadCipher.h"
#include "tests/support/DemoServiceProcess.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <sys/wait.h>
#include <unistd.h>

namespace inkwarden {
namespace {

class DemoServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/inkwarden-packages-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        std::ofstream(dir_ + "/pkg.bin", std::ios::binary) << content_;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    std::string dir_;
    const std::string content_ = "0123456789abcdefghijklmnopqrstuvwxyz";
};

TEST_F(DemoServiceTest, ServesPackagesWithLengthAndRanges) {
    test::DemoServiceProcess service({"--packages", dir_, "--fail-downloads", "1"});
    ASSERT_TRUE(service.running()) << service.output();
    httplib::Client client("127.0.0.1", service.port());

    auto failed = client.Head("/packages/pkg.bin");
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->status, 503); // the first request, by --fail-downloads

    auto head = client.Head("/packages/pkg.bin");
    ASSERT_TRUE(head);
    EXPECT_EQ(head->status, 200);
    EXPECT_EQ(head->get_header_value("Content-Length"), std::to_string(content_.size()));
    EXPECT_EQ(head->get_header_value("Accept-Ranges"), "bytes");

    auto range = client.Get("/packages/pkg.bin", {{"Range", "bytes=10-15"}});
    ASSERT_TRUE(range);
    EXPECT_EQ(range->status, 206);
    EXPECT_EQ(range->body, "abcdef");

    auto whole = client.Get("/packages/pkg.bin");
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->body, content_);

    EXPECT_EQ(client.Get("/packages/missing.bin")->status, 404);
    EXPECT_EQ(client.Get("/packages/..%2Fpkg.bin")->status, 404);
}

TEST_F(DemoServiceTest, RejectsBadQueriesAndEvents) {
    test::DemoServiceProcess service;
    ASSERT_TRUE(service.running()) << service.output();
    httplib::Client client("127.0.0.1", service.port());

    auto garbage = client.Post(LATEST_VERSION_PATH, "not base64!", "application/json");
    ASSERT_TRUE(garbage);
    EXPECT_EQ(garbage->status, 400);
    const std::string four =
        Base64Encode(EncryptPayload(PayloadKey{}, R"({"a":7,"p":"x","s":"y","u":1})"));
    EXPECT_EQ(client.Post(LATEST_VERSION_PATH, four, "application/json")->status, 400);

    auto bad_check =
        client.Post(EVENT_PATH, R"({"a":7,"k":"00","m":901100,"p":"X","u":57426,"v":"1.0.0.1"})",
                    "application/json");
    ASSERT_TRUE(bad_check);
    EXPECT_EQ(bad_check->body, "0");
    EXPECT_EQ(client.Post(EVENT_PATH, "[]", "application/json")->body, "0");
    EXPECT_NE(service.output().find("does not match"), std::string::npos);
    EXPECT_NE(service.output().find("query rejected (400)"), std::string::npos);
}

TEST_F(DemoServiceTest, ServesTheWebPages) {
    test::DemoServiceProcess service;
    ASSERT_TRUE(service.running()) << service.output();
    httplib::Client client("127.0.0.1", service.port());
    auto licence = client.Get("/printer_license_chs.htm");
    ASSERT_TRUE(licence);
    EXPECT_EQ(licence->status, 200);
    EXPECT_NE(licence->body.find("许可协议"), std::string::npos);
    EXPECT_EQ(client.Get("/contact-us.html")->status, 200);
}

TEST_F(DemoServiceTest, APortInUseIsAClearError) {
    test::DemoServiceProcess first;
    ASSERT_TRUE(first.running());
    const std::string command = test::BuiltProgram("inkwarden-demo-service") + " --port " +
                                std::to_string(first.port()) + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[512] = {};
    ASSERT_NE(std::fgets(line, sizeof(line), pipe), nullptr);
    const int status = ::pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(std::string(line).find("in use"), std::string::npos) << line;
}

TEST_F(DemoServiceTest, SignsRepliesForANonceAndDescribesThePackageItServes) {
    const demo::ReleaseSigner signer = *demo::ReleaseSigner::Generate();
    const std::string key_path = dir_ + "/signing.pem";
    std::ofstream(key_path) << signer.privatePem();
    const std::string release = dir_ + "/release.json";
    std::ofstream(release) << R"({"Soft_name":"a","Version_number":"1","Version_description":"",
        "Download_url":"{service}/packages/missing.bin",
        "Download_silent_url":"{service}/packages/pkg.bin","Pubdate":""})";
    test::DemoServiceProcess service(
        {"--release", release, "--packages", dir_, "--signing-key", key_path});
    ASSERT_TRUE(service.running()) << service.output();
    httplib::Client client("127.0.0.1", service.port());
    const std::string body = Base64Encode(EncryptPayload(
        PayloadKey{}, R"({"a":7,"p":"0123","s":"inkwarden-windows","u":57426,"v":"1.0.0.1"})"));
    const auto ask = [&](const std::string& nonce) {
        httplib::Headers headers;
        if (!nonce.empty()) {
            headers.emplace(NONCE_HEADER, nonce);
        }
        return client.Post(LATEST_VERSION_PATH, headers, body, "application/json");
    };

    const std::string nonce = NewReleaseNonce();
    auto signed_reply = ask(nonce);
    ASSERT_TRUE(signed_reply);
    const auto signature = ParseSignatureHeader(signed_reply->get_header_value(SIGNATURE_HEADER));
    ASSERT_TRUE(signature.has_value());
    EXPECT_TRUE(ReleasePublicKey::FromPem(signer.publicPem())
                    ->verify(SignedReleaseMessage(nonce, body, signed_reply->body), *signature));
    // The silent URL's package, as it lies in the folder.
    const PackageFields fields =
        ParsePackageFields(DecryptPayload(PayloadKey{}, Base64Decode(signed_reply->body)));
    EXPECT_EQ(fields.size, static_cast<std::int64_t>(content_.size()));
    EXPECT_EQ(fields.sha256, Sha256Hex(content_));

    // No nonce, or one of another form: nothing to sign for.
    EXPECT_FALSE(ask("")->has_header(SIGNATURE_HEADER));
    EXPECT_FALSE(ask("ABCDEF0123456789ABCDEF0123456789")->has_header(SIGNATURE_HEADER));
    EXPECT_NE(service.output().find("(unsigned)"), std::string::npos);

    test::DemoServiceProcess unsigned_service({"--release", release, "--no-signing"});
    ASSERT_TRUE(unsigned_service.running()) << unsigned_service.output();
    httplib::Client old_service("127.0.0.1", unsigned_service.port());
    auto plain =
        old_service.Post(LATEST_VERSION_PATH, {{NONCE_HEADER, nonce}}, body, "application/json");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->status, 200);
    EXPECT_FALSE(plain->has_header(SIGNATURE_HEADER));
    // Without a package folder the reply has no fields.
    EXPECT_EQ(ParsePackageFields(DecryptPayload(PayloadKey{}, Base64Decode(plain->body))),
              PackageFields{});
}

TEST(DemoServiceOptionsTest, AnUnreadableSigningKeyIsAClearError) {
    const std::string command = test::BuiltProgram("inkwarden-demo-service") +
                                " --port 0 --signing-key /nonexistent/key.pem 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[512] = {};
    ASSERT_NE(std::fgets(line, sizeof(line), pipe), nullptr);
    EXPECT_EQ(WEXITSTATUS(::pclose(pipe)), 1);
    EXPECT_NE(std::string(line).find("cannot read the signing key"), std::string::npos) << line;
}

TEST(DemoProtocolTest, DecodesTheInstallersRequest) {
    const std::string body = Base64Encode(EncryptPayload(
        PayloadKey{}, R"({"a":7,"p":"0123","s":"inkwarden-windows","u":57426,"v":"1.0.0.1"})"));
    LatestVersionRequest request;
    std::string error;
    ASSERT_TRUE(demo::DecodeLatestVersionRequest(body, request, error)) << error;
    EXPECT_EQ(request.p, "0123");
    EXPECT_EQ(request.u, 57426);

    EXPECT_FALSE(demo::DecodeLatestVersionRequest(
        Base64Encode(EncryptPayload(PayloadKey{}, R"({"a":"7","p":"","s":"","u":1,"v":""})")),
        request, error));
    EXPECT_FALSE(error.empty());
}

} // namespace
} // namespace inkwarden

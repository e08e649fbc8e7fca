#include "BuildConfig.h"
#include "demo/DemoProtocol.h"
#include "net/ServiceProtocol.h"
#include "telemetry/PayloadCipher.h"
#include "tests/support/DemoServiceProcess.h"

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
        std::remove((dir_ + "/pkg.bin").c_str());
        ::rmdir(dir_.c_str());
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

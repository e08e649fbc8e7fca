#include "release/LatestVersionQuery.h"

#include "BuildConfig.h"
#include "net/HttpClient.h"
#include "telemetry/CPCIDCalculator.h"
#include "telemetry/PayloadCipher.h"
#include "tests/support/DemoServiceProcess.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <thread>

namespace inkwarden {
namespace {

TEST(LatestVersionRequestTest, PlainTextIsCompactWithSortedKeys) {
    LatestVersionRequest request;
    request.p = MachineIdText();
    ASSERT_EQ(request.p.size(), 32u);
    EXPECT_EQ(BuildLatestVersionRequest(request),
              "{\"a\":7,\"p\":\"" + request.p +
                  "\",\"s\":\"inkwarden-windows\",\"u\":57426,\"v\":\"1.0.0.1\"}");
}

const char* FULL_REPLY = R"({"code":0,"data":{"Soft_name":"墨守精灵","Version_number":"2.1.0.3",
  "Version_description":"notes","Download_url":"http://h/full","Download_silent_url":"http://h/silent",
  "Pubdate":"2026-12-01","Extra":[1,2]},"more":true})";

TEST(ParseLatestVersionTest, ReadsAllSixAndIgnoresExtraMembers) {
    const LatestVersionInfo info = ParseLatestVersion(FULL_REPLY);
    EXPECT_EQ(info.Soft_name, "墨守精灵");
    EXPECT_EQ(info.Version_number, "2.1.0.3");
    EXPECT_EQ(info.Version_description, "notes");
    EXPECT_EQ(info.Download_url, "http://h/full");
    EXPECT_EQ(info.Download_silent_url, "http://h/silent");
    EXPECT_EQ(info.Pubdate, "2026-12-01");
}

TEST(ParseLatestVersionTest, StopsAtTheFirstBadField) {
    const LatestVersionInfo numeric_date = ParseLatestVersion(
        R"({"data":{"Soft_name":"a","Version_number":"b","Version_description":"c",
            "Download_url":"d","Download_silent_url":"e","Pubdate":20261201}})");
    EXPECT_EQ(numeric_date.Download_silent_url, "e");
    EXPECT_EQ(numeric_date.Pubdate, "");

    // Without the silent URL the plain one is still there for the installer.
    const LatestVersionInfo no_silent = ParseLatestVersion(
        R"({"data":{"Soft_name":"a","Version_number":"b","Version_description":"c",
            "Download_url":"d","Pubdate":"f"}})");
    EXPECT_EQ(no_silent.Download_url, "d");
    EXPECT_EQ(no_silent.Download_silent_url, "");
    EXPECT_EQ(no_silent.Pubdate, "");
}

TEST(ParseLatestVersionTest, MalformedRepliesGiveNothing) {
    const LatestVersionInfo empty;
    EXPECT_EQ(ParseLatestVersion(""), empty);
    EXPECT_EQ(ParseLatestVersion(R"({"code":0})"), empty);
    EXPECT_EQ(ParseLatestVersion(R"({"data":[]})"), empty);
    EXPECT_EQ(ParseLatestVersion(R"([{"data":{}}])"), empty);
    EXPECT_EQ(ParseLatestVersion(R"({"data":{"Soft_name":"a"}} trailing)"), empty);
    EXPECT_EQ(ParseLatestVersion(R"({"data":{"Soft_name":"a"}} /* comment */)"), empty);
    std::string with_nul = R"({"data":{"Soft_name":"a)";
    with_nul += '\0';
    with_nul += R"("}})";
    EXPECT_EQ(ParseLatestVersion(with_nul), empty);
}

// A loopback server that answers every query with a fixed status and body.
class FixedReplyServer {
public:
    FixedReplyServer(int status, std::string body) {
        server_.Post(".*", [status, body](const httplib::Request&, httplib::Response& res) {
            res.status = status;
            res.set_content(body, "text/plain");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~FixedReplyServer() {
        server_.stop();
        thread_.join();
    }
    std::string url() const {
        return "http://127.0.0.1:" + std::to_string(port_) + LATEST_VERSION_PATH;
    }

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

// The client is made after the server, so that it closes its connection first.
LatestVersionInfo QueryFixedReply(int status, const std::string& body) {
    FixedReplyServer server(status, body);
    HttpClient client;
    return QueryLatestVersion(client, 7, 57426, server.url());
}

TEST(QueryLatestVersionTest, FailedAnswersGiveAnEmptyRecord) {
    const LatestVersionInfo empty;
    const std::string good = Base64Encode(EncryptPayload(PayloadKey{}, FULL_REPLY));
    EXPECT_EQ(QueryFixedReply(404, good), empty);
    EXPECT_EQ(QueryFixedReply(200, ""), empty);
    EXPECT_EQ(QueryFixedReply(200, "bm90IGNpcGhlciB0ZXh0IQ=="), empty);
    EXPECT_EQ(QueryFixedReply(200, good).Version_number, "2.1.0.3");
}

TEST(QueryLatestVersionTest, RoundTripThroughTheDemoService) {
    test::DemoServiceProcess service(
        {"--release", std::string(build_config::SOURCE_DIR) + "/demo/release.json"});
    ASSERT_TRUE(service.running()) << service.output();
    HttpClient client;
    const LatestVersionInfo info =
        QueryLatestVersion(client, 7, 57426, service.address() + LATEST_VERSION_PATH);
    EXPECT_EQ(info.Soft_name, "墨守精灵");
    EXPECT_FALSE(info.Version_number.empty());
    EXPECT_EQ(info.Download_silent_url.rfind(service.address() + "/packages/", 0), 0u);
    // The service saw the five members, the machine identifier among them.
    EXPECT_NE(service.output().find("p=" + MachineIdText()), std::string::npos);
}

} // namespace
} // namespace inkwarden

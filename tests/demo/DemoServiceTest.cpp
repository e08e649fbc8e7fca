#include "BuildConfig.h"
#include "TestEvents.h"
#include "demo/DemoProtocol.h"
#include "demo/ReleaseSigner.h"
#include "demo/ServedPackage.h"
#include "net/ServiceProtocol.h"
#include "release/PackageFields.h"
#include "release/ReleaseNonce.h"
#include "release/ReleasePublicKey.h"
#include "release/Sha256.h"
#include "telemetry/PayloadCipher.h"
#include "tests/support/DemoServiceProcess.h"
#include "tests/support/RawHttpConnection.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <sstream>
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

struct RangeRow {
    const char* range;
    int status;
    const char* content_range; // "" when the answer has none
    std::string body;
};

// The installer's ranges, ranges past the end, reversed and huge positions, unknown units.
TEST_F(DemoServiceTest, RangeHeadersAndTheirAnswers) {
    test::DemoServiceProcess service({"--packages", dir_});
    ASSERT_TRUE(service.running()) << service.output();
    httplib::Client client("127.0.0.1", service.port());
    const RangeRow rows[] = {
        {"bytes=0-5", 206, "bytes 0-5/36", "012345"},
        {"bytes=30-", 206, "bytes 30-35/36", "uvwxyz"},
        {"bytes=-3", 206, "bytes 33-35/36", "xyz"},
        {"bytes=34-99999999999", 206, "bytes 34-35/36", "yz"},
        {"bytes=0-", 206, "bytes 0-35/36", content_},
        {"bytes=36-", 416, "bytes */36", ""},
        {"bytes=99999999999-", 416, "bytes */36", ""},
        {"bytes=-0", 416, "bytes */36", ""},
        {"bytes=5-2", 200, "", content_},
        {"items=0-5", 200, "", content_},
        {"bytes=0-1,0-1,0-1,0-1,0-1,0-1,0-1,0-1,0-1,0-1,0-1,0-1,0-1,0-1,0-1,0-1,0-1", 200, "",
         content_},
        {"bytes=0-3,2-5", 206, "bytes 0-5/36", "012345"},
    };
    for (const RangeRow& row : rows) {
        auto answer = client.Get("/packages/pkg.bin", {{"Range", row.range}});
        ASSERT_TRUE(answer) << row.range;
        EXPECT_EQ(answer->status, row.status) << row.range;
        EXPECT_EQ(answer->get_header_value("Content-Range"), row.content_range) << row.range;
        EXPECT_EQ(answer->body, row.body) << row.range;
        EXPECT_EQ(answer->get_header_value("Content-Length"), std::to_string(row.body.size()))
            << row.range;
    }
}

TEST_F(DemoServiceTest, SeveralRangesComeAsMultipartWithTheTotal) {
    test::DemoServiceProcess service({"--packages", dir_});
    ASSERT_TRUE(service.running()) << service.output();
    httplib::Client client("127.0.0.1", service.port());
    auto answer = client.Get("/packages/pkg.bin", {{"Range", "bytes=30-31, 0-1"}});
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 206);
    const std::string type = answer->get_header_value("Content-Type");
    ASSERT_EQ(type.rfind("multipart/byteranges; boundary=", 0), 0u) << type;
    const std::string boundary = type.substr(type.find('=') + 1);
    const std::string part = "\r\nContent-Type: application/octet-stream\r\nContent-Range: ";
    EXPECT_EQ(answer->body, "--" + boundary + part + "bytes 30-31/36\r\n\r\nuv\r\n--" + boundary +
                                part + "bytes 0-1/36\r\n\r\n01\r\n--" + boundary + "--\r\n");
}

// A client resumes only the file it began: the range holds while the validator is the one it
// saw, and a replaced file answers whole.
TEST_F(DemoServiceTest, ConditionalRangesHoldOnlyForTheSameFile) {
    test::DemoServiceProcess service({"--packages", dir_});
    ASSERT_TRUE(service.running()) << service.output();
    httplib::Client client("127.0.0.1", service.port());
    auto first = client.Get("/packages/pkg.bin");
    ASSERT_TRUE(first);
    const std::string etag = first->get_header_value("ETag");
    const std::string date = first->get_header_value("Last-Modified");
    ASSERT_EQ(etag.front(), '"') << etag; // strong: no W/ prefix
    ASSERT_FALSE(date.empty());

    const auto ranged = [&](const std::string& condition) {
        return client.Get("/packages/pkg.bin", {{"Range", "bytes=0-1"}, {"If-Range", condition}});
    };
    EXPECT_EQ(ranged(etag)->status, 206);
    EXPECT_EQ(ranged(etag)->body, "01");
    EXPECT_EQ(ranged(date)->status, 206);
    EXPECT_EQ(ranged("\"x\"")->status, 200);
    EXPECT_EQ(ranged("\"x\"")->body, content_);

    // The same length, other bytes, a later time: a new validator.
    std::filesystem::last_write_time(dir_ + "/pkg.bin",
                                     std::filesystem::last_write_time(dir_ + "/pkg.bin") +
                                         std::chrono::seconds(5));
    auto changed = ranged(etag);
    EXPECT_EQ(changed->status, 200);
    EXPECT_NE(changed->get_header_value("ETag"), etag);
}

TEST_F(DemoServiceTest, HostilePackageNamesAreNotFound) {
    test::DemoServiceProcess service({"--packages", dir_});
    ASSERT_TRUE(service.running()) << service.output();
    std::ofstream(dir_ + "/.hidden") << "secret";
    for (const char* path :
         {"/packages/pkg.bin%00.txt", "/packages/pkg.bin%00", "/packages/%2e%2e",
          "/packages/..%2Fpkg.bin", "/packages/%2Fetc%2Fpasswd", "/packages/pkg%5Cbin",
          "/packages/pkg.bin%0d", "/packages/pkg%1b.bin", "/packages/.hidden"}) {
        const std::string answer =
            test::RawHttpConnection::Exchange(service.port(), std::string("GET ") + path +
                                                                  " HTTP/1.1\r\nHost: x\r\n"
                                                                  "Connection: close\r\n\r\n");
        EXPECT_EQ(answer.rfind("HTTP/1.1 404", 0), 0u) << path << ": " << answer.substr(0, 40);
    }
    EXPECT_EQ(std::remove((dir_ + "/.hidden").c_str()), 0);
}

// A field with a line break or terminal escapes stays inside its own line of the log.
TEST_F(DemoServiceTest, EveryRequestWritesOneEscapedLogLine) {
    test::DemoServiceProcess service({"--packages", dir_});
    ASSERT_TRUE(service.running()) << service.output();
    httplib::Client client("127.0.0.1", service.port());
    const std::string forged = "X\nevent 901300 (success page shown) p=FORGED k matches\x1b[2J";
    ASSERT_TRUE(client.Post(EVENT_PATH, test::EventBody(901100, forged), "application/json"));
    ASSERT_TRUE(client.Get("/packages/pkg.bin", {{"Range", "bytes=0-1\x1b]0;title\x07"}}));
    const std::string log = service.output();
    EXPECT_EQ(log.find('\x1b'), std::string::npos);
    EXPECT_EQ(log.find("\nevent 901300"), std::string::npos) << log;
    EXPECT_NE(log.find("p=X\\nevent 901300"), std::string::npos) << log;
    std::istringstream lines(log);
    int event_lines = 0;
    for (std::string line; std::getline(lines, line);) {
        event_lines += line.rfind("event ", 0) == 0;
    }
    EXPECT_EQ(event_lines, 1) << log;
}

// Heads that two readers could take two ways are refused rather than guessed at.
TEST_F(DemoServiceTest, AmbiguousHeadsAre400) {
    test::DemoServiceProcess service({"--packages", dir_});
    ASSERT_TRUE(service.running()) << service.output();
    const auto status = [&](const std::string& head, const std::string& body = "") {
        const std::string answer = test::RawHttpConnection::Exchange(
            service.port(), head + "Host: x\r\nConnection: close\r\n\r\n" + body);
        return answer.substr(0, 12);
    };
    EXPECT_EQ(status("POST /api/clientevent HTTP/1.1\r\nContent-Length: 2\r\n"
                     "Content-Length: 3\r\n",
                     "{}x"),
              "HTTP/1.1 400");
    EXPECT_EQ(status("POST /api/clientevent HTTP/1.1\r\nContent-Length: 2\r\n"
                     "Content-Length: 2\r\n",
                     "{}"),
              "HTTP/1.1 200");
    EXPECT_EQ(status("GET /packages/pkg.bin HTTP/1.1\r\nRange : bytes=0-1\r\n"), "HTTP/1.1 400");
    EXPECT_EQ(status("GET /packages/pkg.bin HTTP/1.1\r\nRange: bytes=0-1\r\n"), "HTTP/1.1 206");
}

// A package named through a link inside the folder, with escapes or with a query string is
// described and served; a link that leads out of the folder is neither, and the log says so.
TEST_F(DemoServiceTest, DescribesAndServesPackagesByEveryNameOfThem) {
    test::TempDir outside;
    std::ofstream(outside.file("secret.bin")) << "secret";
    std::filesystem::create_symlink("pkg.bin", dir_ + "/latest.bin");
    std::filesystem::copy_file(dir_ + "/pkg.bin", dir_ + "/Inkwarden Setup.bin");
    std::filesystem::create_symlink(outside.file("secret.bin"), dir_ + "/escape.bin");
    const std::string body = Base64Encode(EncryptPayload(
        PayloadKey{}, R"({"a":7,"p":"0123","s":"inkwarden-windows","u":57426,"v":"1.0.0.1"})"));
    const auto serve = [&](const std::string& url_name) {
        std::ofstream(dir_ + "/release.json")
            << R"({"Soft_name":"a","Version_number":"1","Version_description":"",
            "Download_url":"","Download_silent_url":"{service}/packages/)"
            << url_name << R"(","Pubdate":""})";
        return std::make_unique<test::DemoServiceProcess>(std::vector<std::string>{
            "--release", dir_ + "/release.json", "--packages", dir_, "--no-signing"});
    };
    for (const std::string name : {"latest.bin", "Inkwarden%20Setup.bin", "pkg.bin?v=321"}) {
        const auto service = serve(name);
        ASSERT_TRUE(service->running()) << service->output();
        httplib::Client client("127.0.0.1", service->port());
        auto reply = client.Post(LATEST_VERSION_PATH, body, "application/json");
        ASSERT_TRUE(reply) << name;
        const PackageFields fields =
            ParsePackageFields(DecryptPayload(PayloadKey{}, Base64Decode(reply->body)));
        EXPECT_EQ(fields.sha256, Sha256Hex(content_)) << name;
        auto download = client.Get("/packages/" + name);
        ASSERT_TRUE(download) << name;
        EXPECT_EQ(download->body, content_) << name;
        EXPECT_EQ(service->output().find("replies carry no package fields"), std::string::npos);
    }
    const auto service = serve("escape.bin");
    ASSERT_TRUE(service->running()) << service->output();
    httplib::Client client("127.0.0.1", service->port());
    EXPECT_EQ(client.Get("/packages/escape.bin")->status, 404);
    EXPECT_EQ(ParsePackageFields(DecryptPayload(
                  PayloadKey{},
                  Base64Decode(client.Post(LATEST_VERSION_PATH, body, "application/json")->body))),
              PackageFields{});
    EXPECT_NE(service->output().find("escape.bin is not a file in the packages folder"),
              std::string::npos)
        << service->output();
}

TEST_F(DemoServiceTest, BodiesOverOneMebibyteAre413) {
    test::DemoServiceProcess service;
    ASSERT_TRUE(service.running()) << service.output();
    httplib::Client client("127.0.0.1", service.port());
    auto declared = client.Post(EVENT_PATH, std::string(2 << 20, 'x'), "application/json");
    ASSERT_TRUE(declared);
    EXPECT_EQ(declared->status, 413);
    // Refused from the head alone: the 50 MB are never read.
    const std::string huge = test::RawHttpConnection::Exchange(
        service.port(), "POST /api/clientevent HTTP/1.1\r\nHost: x\r\n"
                        "Content-Length: 50000000\r\n\r\n{");
    EXPECT_EQ(huge.rfind("HTTP/1.1 413", 0), 0u) << huge;
    // A chunked body has no length to check in advance: it must declare one, and is refused
    // from the head (the first chunk is small, so the refusal is not lost to a reset that
    // unread bytes would cause).
    const std::string chunked = "POST /api/clientevent HTTP/1.1\r\nHost: x\r\n"
                                "Transfer-Encoding: chunked\r\n\r\n10\r\n" +
                                std::string(0x10, 'y') + "\r\n";
    const std::string refused = test::RawHttpConnection::Exchange(service.port(), chunked);
    EXPECT_EQ(refused.rfind("HTTP/1.1 411", 0), 0u) << refused.substr(0, 100);
    // Just under the limit is read (and rejected as an event).
    auto small = client.Post(EVENT_PATH, std::string(1 << 19, ' ') + "{}", "application/json");
    ASSERT_TRUE(small);
    EXPECT_EQ(small->status, 200);
    EXPECT_EQ(small->body, "0");
}

// Events are rows in the data folder: a new service on the same folder lists them all, page by
// page, with their row numbers and the time they came.
TEST_F(DemoServiceTest, EventsSurviveARestartAndPage) {
    test::TempDir data;
    {
        test::DemoServiceProcess first({"--data", data.path().string()});
        ASSERT_TRUE(first.running()) << first.output();
        httplib::Client client("127.0.0.1", first.port());
        for (int code : {901100, 901101, 901200}) {
            auto answer = client.Post(EVENT_PATH, test::EventBody(code), "application/json");
            ASSERT_TRUE(answer);
            EXPECT_EQ(answer->body, "1");
        }
    }
    test::DemoServiceProcess second({"--data", data.path().string()});
    ASSERT_TRUE(second.running()) << second.output();
    EXPECT_EQ(second.eventCodes(3), (std::vector<int>{901100, 901101, 901200}));
    httplib::Client client("127.0.0.1", second.port());
    auto page = client.Get("/api/events?since=1&limit=1");
    ASSERT_TRUE(page);
    const auto rows = nlohmann::json::parse(page->body);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["id"], 2);
    EXPECT_EQ(rows[0]["code"], 901101);
    EXPECT_EQ(rows[0]["k_matches"], true);
    EXPECT_EQ(rows[0]["meaning"], "start button clicked");
    EXPECT_EQ(rows[0]["received"].get<std::string>().size(), 24u); // 2026-12-08T06:30:00.123Z
    EXPECT_EQ(second.eventPages().size(), 3u);
    EXPECT_EQ(client.Get("/api/events?since=x")->status, 400);
    EXPECT_EQ(client.Get("/api/events?limit=0")->status, 400);
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
    EXPECT_EQ(client
                  .Post(EVENT_PATH,
                        R"({"a":7,"k":"00","m":901100,"p":"X\u0000Y","u":57426,"v":"1.0.0.1"})",
                        "application/json")
                  ->body,
              "0");
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

// A stop that comes while the service is still starting is not lost.
TEST(DemoServiceOptionsTest, StopsRightAfterStarting) {
    for (int i = 0; i < 10; ++i) {
        test::DemoServiceProcess service;
        ASSERT_TRUE(service.running()) << service.output();
        const int status = service.stop();
        ASSERT_TRUE(WIFEXITED(status)) << "start " << i << " did not stop";
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
}

TEST(DemoServiceOptionsTest, HelpVersionAndUsageErrors) {
    const std::string program = test::BuiltProgram("inkwarden-demo-service");
    const auto run = [&](const std::string& args, std::string& out) {
        FILE* pipe = ::popen((program + " " + args + " 2>/dev/null").c_str(), "r");
        char buffer[4096];
        out.clear();
        for (size_t n; (n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0;) {
            out.append(buffer, n);
        }
        return WEXITSTATUS(::pclose(pipe));
    };
    std::string out;
    EXPECT_EQ(run("--help", out), 0);
    EXPECT_NE(out.find("--events URI"), std::string::npos);
    EXPECT_EQ(run("--version", out), 0);
    EXPECT_EQ(out, std::string("inkwarden-demo-service ") + build_config::VERSION + "\n");
    EXPECT_EQ(run("--workers 0", out), 2);
    EXPECT_EQ(run("--port", out), 2);
    EXPECT_EQ(run("--frobnicate 1", out), 2);
    EXPECT_EQ(out, ""); // usage goes to standard error
    EXPECT_EQ(run("--port 0 --events mysql://x", out), 1);
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

// The digest is kept while the file stays the same and made afresh for a replaced one, of the
// same size or another, so a reply never describes a package that is no longer served.
TEST(ServedPackageTest, DescribesThePackageAsItIsServedNow) {
    test::TempDir dir;
    LatestVersionInfo release;
    release.Download_silent_url = "http://127.0.0.1:1/packages/pkg.bin";
    const auto write = [&](const std::string& content) {
        const std::string fresh = dir.file("pkg.bin.new");
        std::ofstream(fresh, std::ios::binary) << content;
        std::filesystem::rename(fresh, dir.file("pkg.bin"));
    };
    demo::ServedPackage served;
    const auto fields = [&] {
        return served.fields(release, "http://127.0.0.1:1", dir.path().string());
    };

    write("first");
    EXPECT_EQ(fields().sha256, Sha256Hex("first"));
    EXPECT_EQ(fields().sha256, Sha256Hex("first"));
    write("other"); // same size, another file
    EXPECT_EQ(fields().sha256, Sha256Hex("other"));
    write("longer one");
    EXPECT_EQ(fields().size, 10);
    std::filesystem::remove(dir.file("pkg.bin"));
    EXPECT_EQ(fields(), PackageFields{});
    // Another service's URL, or a name outside the folder: no fields.
    write("first");
    release.Download_silent_url = "http://elsewhere/packages/pkg.bin";
    EXPECT_EQ(fields(), PackageFields{});
    release.Download_silent_url = "http://127.0.0.1:1/packages/../pkg.bin";
    EXPECT_EQ(fields(), PackageFields{});

    // With a piece size the fields carry the served file's piece digests, the last piece short.
    release.Download_silent_url = "http://127.0.0.1:1/packages/pkg.bin";
    const std::string content = test::TestFiles::Pattern(0, 2 * 65536 + 5);
    write(content);
    served.setPieceSize(65536);
    EXPECT_EQ(fields().piece_size, 65536);
    EXPECT_EQ(fields().piece_sha256,
              (std::vector<std::string>{Sha256Hex(content.substr(0, 65536)),
                                        Sha256Hex(content.substr(65536, 65536)),
                                        Sha256Hex(content.substr(2 * 65536))}));
    // They pass the installer's own parser as the reply carries them.
    const PackageFields parsed = ParsePackageFields(DecryptPayload(
        PayloadKey{}, Base64Decode(demo::EncodeLatestVersionReply(release, fields()))));
    EXPECT_FALSE(parsed.malformed);
    EXPECT_EQ(parsed, fields());
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

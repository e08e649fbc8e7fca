// The service behind nginx with the configuration that docs/deployment.md shows, and the
// installer's download engine against both the service and nginx.
#include "BuildConfig.h"
#include "TestEvents.h"
#include "net/SegmentedDownloader.h"
#include "net/ServiceProtocol.h"
#include "tests/support/DemoServiceProcess.h"
#include "tests/support/FreePort.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <httplib.h>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

extern char** environ;

namespace inkwarden {
namespace {

constexpr const char* PACKAGE = "InkwardenSetup.bin";
constexpr std::int64_t PACKAGE_SIZE = (1 << 20) + 12345;

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + 1)) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// nginx from demo/nginx-deployment.conf, in front of one service.
class DeployedNginx {
public:
    DeployedNginx(const test::TempDir& dir, int service_port, const std::string& packages) {
        std::ifstream in(std::string(build_config::SOURCE_DIR) + "/demo/nginx-deployment.conf");
        std::stringstream text;
        text << in.rdbuf();
        for (int attempt = 0; attempt < 5 && pid_ < 0; ++attempt) {
            port_ = test::FreePort::Find();
            std::string conf = ReplaceAll(text.str(), "@PREFIX@", dir.path().string());
            conf = ReplaceAll(conf, "@LISTEN@", "127.0.0.1:" + std::to_string(port_));
            conf = ReplaceAll(conf, "@SERVICE@", "127.0.0.1:" + std::to_string(service_port));
            conf = ReplaceAll(conf, "@PACKAGES@", packages);
            std::ofstream(dir.file("nginx.conf")) << "daemon off;\n" << conf;
            start(dir);
        }
    }
    ~DeployedNginx() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool running() const { return pid_ > 0; }
    int port() const { return port_; }

private:
    void start(const test::TempDir& dir) {
        const std::string prefix = dir.path().string();
        const std::string conf = dir.file("nginx.conf");
        const std::string errors = dir.file("error.log");
        const char* argv[] = {"/usr/sbin/nginx", "-p", prefix.c_str(), "-c",
                              conf.c_str(),      "-e", errors.c_str(), nullptr};
        pid_t pid = -1;
        if (::posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) !=
            0) {
            return;
        }
        pid_ = pid;
        if (!test::FreePort::WaitListening(port_, 5000)) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

    int port_ = 0;
    pid_t pid_ = -1;
};

class DeploymentTest : public ::testing::Test {
protected:
    void SetUp() override {
        // nginx's workers run as an unprivileged user when started as root: they must read
        // the packages.
        ::chmod(dir_.path().c_str(), 0755);
        std::filesystem::create_directories(packages());
        ASSERT_TRUE(test::TestFiles::WritePattern(packages() + "/" + PACKAGE, PACKAGE_SIZE));
    }
    std::string packages() const { return dir_.file("packages"); }

    // The engine's download with six connections; true when the bytes arrived whole.
    bool Download(const std::string& url) {
        SegmentedDownloader engine;
        DownloadRequest request;
        request.url = url;
        request.target_path = dir_.file("downloaded.bin");
        request.connections = 6;
        return engine.Download(request) &&
               test::TestFiles::Sha256OfFile(request.target_path) ==
                   test::TestFiles::Sha256OfFile(packages() + "/" + PACKAGE);
    }

    test::TempDir dir_;
};

TEST_F(DeploymentTest, TheInstallersDownloadWorksAgainstTheService) {
    test::DemoServiceProcess service({"--packages", packages()});
    ASSERT_TRUE(service.running()) << service.output();
    EXPECT_TRUE(Download(service.address() + "/packages/" + PACKAGE));
    // The length probe and six ranges, each answered 206.
    const std::string log = service.output();
    size_t partial = 0;
    for (size_t at = log.find("-> 206"); at != std::string::npos; at = log.find("-> 206", at + 1)) {
        ++partial;
    }
    EXPECT_EQ(partial, 6u) << log;
    EXPECT_NE(log.find("HEAD /packages/InkwardenSetup.bin -> 200"), std::string::npos) << log;
}

TEST_F(DeploymentTest, NginxServesPackagesAndHandsTheApiToTheService) {
    if (!std::filesystem::exists("/usr/sbin/nginx")) {
        GTEST_SKIP() << "nginx is not installed (scripts/setup installs it)";
    }
    test::DemoServiceProcess service({"--packages", packages()});
    ASSERT_TRUE(service.running()) << service.output();
    test::TempDir nginx_dir;
    ::chmod(nginx_dir.path().c_str(), 0755);
    DeployedNginx nginx(nginx_dir, service.port(), packages());
    ASSERT_TRUE(nginx.running()) << test::TestFiles::ReadAll(nginx_dir.file("error.log"));
    const std::string front = "http://127.0.0.1:" + std::to_string(nginx.port());

    EXPECT_TRUE(Download(front + "/packages/" + PACKAGE));
    EXPECT_EQ(service.output().find("/packages/"), std::string::npos)
        << "the packages came from the service";

    httplib::Client client("127.0.0.1", nginx.port());
    auto event = client.Post(EVENT_PATH, test::EventBody(901100), "application/json");
    ASSERT_TRUE(event);
    EXPECT_EQ(event->body, "1");
    auto query = client.Post(LATEST_VERSION_PATH, "not base64!", "application/json");
    ASSERT_TRUE(query);
    EXPECT_EQ(query->status, 400); // the service's own answer
    EXPECT_EQ(client.Post(EVENT_PATH, std::string(2 << 20, 'x'), "application/json")->status, 413);
    EXPECT_EQ(client.Get("/api/events")->status, 200);
    EXPECT_NE(client.Get("/packages/../nginx.conf")->status, 200);
    EXPECT_EQ(client.Get("/other")->status, 404);
    EXPECT_EQ(service.eventCodes(1), std::vector<int>{901100});
}

} // namespace
} // namespace inkwarden

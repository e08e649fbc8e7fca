// The proxy's sign-in as the install sequence runs it: a 407 asks the window instead of ending
// the attempt, the window's answer repeats or ends it, wrong credentials ask again a few times
// at most, and the right ones go to the proxy.
#include "app/InstallController.h"
#include "net/ProxyCredentials.h"
#include "tests/support/FreePort.h"
#include "tests/support/InstallWorld.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <gtest/gtest.h>
#include <httplib.h>
#include <mutex>
#include <thread>
#include <vector>

namespace inkwarden {
namespace {

using namespace std::chrono_literals;

// A window that records the pages and the sign-ins it is asked for.
class SignInWindow : public IInstallWindow {
public:
    bool HasTabPage() const override { return true; }
    bool HasContactButton() const override { return false; }
    void Done(InstallFailure, const std::string& text, bool) override {
        change([&] { failure_text = text; });
    }
    void SelectPage(int index) override {
        change([&] { pages.push_back(index); });
    }
    void SetCustomPanel(bool) override {}
    bool AskProxySignIn(const std::string& proxy) override {
        change([&] { asked.push_back(proxy); });
        return true;
    }

    // Waits until the window was asked count times or a result page shows.
    void waitForAskOrPage(std::size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, 30s, [&] {
            return asked.size() >= count || (!pages.empty() && pages.back() >= 2);
        });
    }
    void clearPages() {
        change([&] { pages.clear(); });
    }
    template <typename T> T read(const T& field) {
        std::lock_guard<std::mutex> lock(mutex_);
        return field;
    }

    std::vector<std::string> asked;
    std::vector<int> pages;
    std::string failure_text;

private:
    template <typename Change> void change(Change apply) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            apply();
        }
        changed_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable changed_;
};

// A proxy in front of the package: 407 unless the request carries alice's right password,
// then a few bytes that are no program.
class SignInProxy {
public:
    SignInProxy() {
        server_.Get(".*", [this](const httplib::Request& request, httplib::Response& reply) {
            Answer(request, reply);
        });
        server_.set_default_headers({});
        port_ = server_.bind_to_any_port("127.0.0.1");
        serving_ = std::thread([this] { server_.listen_after_bind(); });
        test::FreePort::WaitListening(port_, 5000);
    }
    ~SignInProxy() {
        server_.stop();
        serving_.join();
    }
    std::string name() const { return "127.0.0.1:" + std::to_string(port_); }
    int signed_in() const { return signed_in_; }

private:
    void Answer(const httplib::Request& request, httplib::Response& reply) {
        // "alice:s3cret-pw"
        if (request.get_header_value("Proxy-Authorization") == "Basic YWxpY2U6czNjcmV0LXB3") {
            ++signed_in_;
            reply.set_content("not a program", "application/octet-stream");
            return;
        }
        reply.status = 407;
        reply.set_header("Proxy-Authenticate", "Basic realm=\"office\"");
    }

    httplib::Server server_;
    int port_ = 0;
    std::thread serving_;
    std::atomic<int> signed_in_{0};
};

class ProxySignInTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::unsetenv("XDG_CURRENT_DESKTOP");
        ::unsetenv("no_proxy");
        ::unsetenv("NO_PROXY");
        ::setenv("http_proxy", ("http://" + proxy.name()).c_str(), 1);
        controller.test_url = "http://packages.invalid/InkwardenSetup.bin";
        controller.install_folder = (world.root / "opt/Inkwarden").string();
        controller.downloader.SetTimings([] {
            DownloadTimings timings;
            timings.segment_pause = 20ms;
            return timings;
        }());
    }
    void TearDown() override {
        controller.StopInstall();
        ::unsetenv("http_proxy");
    }

    test::InstallWorld world{"inkwarden-sign-in"};
    SignInProxy proxy;
    SignInWindow window;
    InstallController controller{window};
};

TEST_F(ProxySignInTest, ACancelledSignInEndsOnTheFailurePageNamingTheProxy) {
    controller.StartInstall();
    window.waitForAskOrPage(1);
    ASSERT_EQ(window.read(window.asked), std::vector<std::string>{proxy.name()});
    // Asked, not failed: the installing page stays while the window asks.
    EXPECT_TRUE(window.read(window.pages).empty());
    EXPECT_TRUE(controller.attempt_running);

    controller.DeclineProxySignIn();
    EXPECT_EQ(window.read(window.pages), std::vector<int>{InstallController::PAGE_FAILURE});
    EXPECT_EQ(window.read(window.failure_text),
              "The proxy " + proxy.name() + " asks for a user name and password.");
    EXPECT_EQ(controller.failure, InstallFailure::PROXY_SIGN_IN);
    EXPECT_FALSE(controller.attempt_running);
}

TEST_F(ProxySignInTest, WrongCredentialsAskAgainAFewTimesThenTheRightOnesSignIn) {
    controller.StartInstall();
    for (int round = 1; round <= InstallController::SIGN_IN_ROUNDS; ++round) {
        window.waitForAskOrPage(static_cast<std::size_t>(round));
        ASSERT_EQ(window.read(window.asked).size(), static_cast<std::size_t>(round));
        RememberProxyCredentials(proxy.name(), {"alice", "wrong " + std::to_string(round)});
        controller.RetryWithProxySignIn();
    }
    // Turned down once more than it may ask: the failure page, without a further ask.
    window.waitForAskOrPage(InstallController::SIGN_IN_ROUNDS + 1);
    EXPECT_EQ(window.read(window.asked).size(),
              static_cast<std::size_t>(InstallController::SIGN_IN_ROUNDS));
    EXPECT_EQ(window.read(window.pages), std::vector<int>{InstallController::PAGE_FAILURE});
    EXPECT_EQ(controller.attempt_count, 1); // sign-ins are not retries
    EXPECT_EQ(proxy.signed_in(), 0);

    window.clearPages();
    // A new attempt asks afresh; the right password goes through the proxy to the package
    // (which is no program, so the attempt then fails for that).
    controller.StartInstall();
    window.waitForAskOrPage(InstallController::SIGN_IN_ROUNDS + 1);
    ASSERT_EQ(window.read(window.asked).size(),
              static_cast<std::size_t>(InstallController::SIGN_IN_ROUNDS + 1));
    RememberProxyCredentials(proxy.name(), {"alice", "s3cret-pw"});
    controller.RetryWithProxySignIn();
    window.waitForAskOrPage(InstallController::SIGN_IN_ROUNDS + 2);
    controller.StopInstall();
    EXPECT_GT(proxy.signed_in(), 0);
    EXPECT_EQ(controller.failure, InstallFailure::PACKAGE_FAILED);
    EXPECT_EQ(window.read(window.asked).size(),
              static_cast<std::size_t>(InstallController::SIGN_IN_ROUNDS + 1));
}

} // namespace
} // namespace inkwarden

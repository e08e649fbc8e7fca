#include "telemetry/EventReporter.h"

#include "telemetry/Md5Provider.h"
#include "tests/support/DemoServiceProcess.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <httplib.h>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>
#include <vector>

namespace inkwarden {
namespace {

using namespace std::chrono_literals;

nlohmann::json FetchEvents(const test::DemoServiceProcess& service) {
    httplib::Client client("127.0.0.1", service.port());
    auto result = client.Get("/api/events");
    if (!result || result->status != 200) {
        return nlohmann::json::array();
    }
    return nlohmann::json::parse(result->body);
}

TEST(EventReporterTest, BodyHasSortedKeysAndTheMd5Check) {
    EventReporter reporter;
    reporter.Start();
    const std::string body = reporter.BuildBody(901100);
    reporter.Stop();

    Md5Provider md5;
    ASSERT_TRUE(md5.acquire());
    const std::string k = md5.hexDigest("7" + reporter.machine_id + "1.0.0.1901100");
    ASSERT_EQ(k.size(), 32u);
    EXPECT_EQ(body, "{\"a\":7,\"k\":\"" + k + "\",\"m\":901100,\"p\":\"" + reporter.machine_id +
                        "\",\"u\":57426,\"v\":\"1.0.0.1\"}");
}

TEST(EventReporterTest, WithoutMd5TheCheckIsEmpty) {
    EventReporter reporter(EventReporter::Options{EVENT_URL, false});
    reporter.Start();
    const nlohmann::json body = nlohmann::json::parse(reporter.BuildBody(901101));
    reporter.Stop();
    ASSERT_TRUE(body.contains("k"));
    EXPECT_EQ(body["k"], "");
}

TEST(EventReporterTest, TenQuickReportsArriveInOrderWithMatchingChecks) {
    test::DemoServiceProcess service;
    ASSERT_TRUE(service.running()) << service.output();
    EventReporter reporter(EventReporter::Options{service.address() + EVENT_PATH, true});
    // Reports made before Start stay queued and go out once the worker runs.
    reporter.Report(901100);
    reporter.Start();
    for (int i = 1; i < 10; ++i) {
        reporter.Report(901100 + i);
    }
    nlohmann::json events;
    for (int waited = 0; waited < 100; ++waited) {
        events = FetchEvents(service);
        if (events.size() >= 10) {
            break;
        }
        std::this_thread::sleep_for(50ms);
    }
    reporter.Stop();
    ASSERT_EQ(events.size(), 10u) << service.output();
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(events[i]["code"], 901100 + i);
        EXPECT_EQ(events[i]["k_matches"], true);
        EXPECT_EQ(events[i]["machine_id"], reporter.machine_id);
    }
}

// A service that holds every request until released, counting what arrived.
class HoldingServer {
public:
    HoldingServer() {
        server_.Post(".*", [this](const httplib::Request&, httplib::Response& res) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                ++received_;
                arrived_.notify_all();
                released_.wait_for(lock, 10s, [this] { return release_; });
            }
            res.set_content("1", "text/plain");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~HoldingServer() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            release_ = true;
        }
        released_.notify_all();
        server_.stop();
        thread_.join();
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + EVENT_PATH; }
    bool waitForRequests(int count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return arrived_.wait_for(lock, 5s, [&] { return received_ >= count; });
    }
    int received() {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable arrived_, released_;
    int received_ = 0;
    bool release_ = false;
};

TEST(EventReporterTest, StopEndsTheInFlightPostAndDropsTheQueue) {
    HoldingServer server;
    EventReporter reporter(EventReporter::Options{server.url(), true});
    reporter.Start();
    reporter.Report(901100);
    ASSERT_TRUE(server.waitForRequests(1));
    reporter.Report(901101);
    reporter.Report(901102);
    reporter.Report(901103);

    const auto started = std::chrono::steady_clock::now();
    reporter.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1500ms);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(server.received(), 1);

    // A started reporter sends again, and stops again without waiting.
    reporter.Start();
    reporter.Report(901104);
    EXPECT_TRUE(server.waitForRequests(2));
    reporter.Stop();
}

TEST(EventReporterTest, OnlyTheBodyOneMeansAccepted) {
    httplib::Server server;
    std::atomic<int> call{0};
    server.Post(".*", [&](const httplib::Request&, httplib::Response& res) {
        switch (call++) {
        case 0:
            res.status = 500;
            res.set_content("1", "text/plain");
            break;
        case 1:
            res.set_content("1\n", "text/plain");
            break;
        default:
            res.set_content("0", "text/plain");
            break;
        }
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { server.listen_after_bind(); });

    EventReporter reporter(
        EventReporter::Options{"http://127.0.0.1:" + std::to_string(port) + EVENT_PATH, true});
    reporter.Start();
    EXPECT_TRUE(reporter.Send(901100));  // status 500, body 1
    EXPECT_FALSE(reporter.Send(901100)); // "1\n"
    EXPECT_FALSE(reporter.Send(901100)); // "0"
    EXPECT_FALSE(reporter.Send(-1));     // never sent
    reporter.Stop();
    server.stop();
    thread.join();
    EXPECT_EQ(call.load(), 3);
}

} // namespace
} // namespace inkwarden

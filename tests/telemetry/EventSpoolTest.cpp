// Events the service did not take, kept on disk and sent by a later reporter.
#include "telemetry/EventSpool.h"

#include "telemetry/EventReporter.h"
#include "tests/support/DemoServiceProcess.h"
#include "tests/support/FreePort.h"
#include "tests/support/TempDir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <httplib.h>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace inkwarden {
namespace {

using namespace std::chrono_literals;

EventReporter::Options SpoolingTo(const std::string& url, const std::string& folder) {
    EventReporter::Options options(url, true);
    options.spool_folder = folder;
    return options;
}

// Waits for the condition, up to ten seconds (the reporter works on its own thread).
template <class Condition> bool Eventually(Condition condition) {
    for (int i = 0; i < 400; ++i) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(25ms);
    }
    return condition();
}

// Down, then up: the first run's events wait on disk, readable by the user alone; the next
// run sends them before its own, each once, and a damaged file on the way is dropped.
TEST(EventSpoolTest, EventsOfARunWithoutTheServiceArriveWithTheNextRun) {
    test::TempDir state;
    const std::string folder = (state.path() / "events").string();
    const std::string nowhere =
        "http://127.0.0.1:" + std::to_string(test::FreePort::Find()) + EVENT_PATH;
    {
        EventReporter offline(SpoolingTo(nowhere, folder));
        offline.Start();
        for (int code : {901100, 901101, 901102}) {
            offline.Report(code);
        }
        ASSERT_TRUE(Eventually([&] { return EventSpool(folder).Pending().size() == 3; }));
        offline.Stop();
    }
    for (const std::string& name : EventSpool(folder).Pending()) {
        struct stat info {};
        ASSERT_EQ(::stat((folder + "/" + name).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << name;
    }
    std::ofstream(folder + "/00000000000000000001-00000000-1.event") << "{\"a\":7,\"k\":";

    test::DemoServiceProcess service;
    ASSERT_TRUE(service.running()) << service.output();
    EventReporter online(SpoolingTo(service.address() + EVENT_PATH, folder));
    online.Start();
    online.Report(901200);
    EXPECT_EQ(service.eventCodes(4), (std::vector<int>{901100, 901101, 901102, 901200}));
    EXPECT_TRUE(Eventually([&] { return EventSpool(folder).Pending().empty(); }));
    online.Stop();
    EXPECT_EQ(service.eventPages().size(), 4u);
}

// A busy service's Retry-After is waited out: meanwhile events go to disk without a request,
// and afterwards all of them arrive in report order.
TEST(EventSpoolTest, RetryAfterIsHonoured) {
    httplib::Server server;
    std::atomic<int> requests{0};
    std::mutex mutex;
    std::vector<int> accepted;
    server.Post(".*", [&](const httplib::Request& req, httplib::Response& res) {
        if (requests++ == 0) {
            res.status = 503;
            res.set_header("Retry-After", "1");
            return;
        }
        std::lock_guard<std::mutex> lock(mutex);
        accepted.push_back(nlohmann::json::parse(req.body)["m"].get<int>());
        res.set_content("1", "text/plain");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { server.listen_after_bind(); });
    test::TempDir state;
    const std::string folder = state.path().string();
    EventReporter reporter(
        SpoolingTo("http://127.0.0.1:" + std::to_string(port) + EVENT_PATH, folder));
    reporter.Start();
    reporter.Report(901100);
    reporter.Report(901101);
    EXPECT_TRUE(Eventually([&] { return EventSpool(folder).Pending().size() == 2; }));
    EXPECT_EQ(requests, 1);
    std::this_thread::sleep_for(1100ms); // the service asked for one second
    reporter.Report(901102);
    // All three acknowledged (the spool may be empty before the third is even kept), and
    // removed from disk only then.
    EXPECT_TRUE(Eventually([&] {
        std::lock_guard<std::mutex> lock(mutex);
        return accepted.size() == 3;
    }));
    EXPECT_TRUE(Eventually([&] { return EventSpool(folder).Pending().empty(); }));
    reporter.Stop();
    server.stop();
    thread.join();
    EXPECT_EQ(accepted, (std::vector<int>{901100, 901101, 901102}));
}

// Usage events turned off (DO_NOT_TRACK, the box): what earlier runs kept is cleared, not
// sent, and nothing of this run is kept either.
TEST(EventSpoolTest, TurnedOffClearsTheSpoolAndSendsNothing) {
    test::TempDir state;
    const std::string folder = state.path().string();
    EventSpool(folder).Keep("{\"a\":7,\"k\":\"x\",\"m\":901100}");
    ASSERT_EQ(EventSpool(folder).Pending().size(), 1u);

    test::DemoServiceProcess service;
    ASSERT_TRUE(service.running()) << service.output();
    EventReporter reporter(SpoolingTo(service.address() + EVENT_PATH, folder));
    reporter.SetEnabled(false);
    EXPECT_TRUE(EventSpool(folder).Pending().empty());
    reporter.Start();
    reporter.Report(901101);
    std::this_thread::sleep_for(300ms);
    reporter.Stop();
    EXPECT_TRUE(EventSpool(folder).Pending().empty());
    EXPECT_TRUE(service.eventPages().empty());
}

// At most 1,000 events and 1 MiB: the oldest go first.
TEST(EventSpoolTest, TheOldestEventsGoBeyondTheLimits) {
    test::TempDir state;
    EventSpool spool(state.path().string());
    const auto body = [](int i, std::size_t size) {
        std::string text = "{\"a\":7,\"k\":\"\",\"m\":" + std::to_string(i) + ",\"p\":\"";
        return text + std::string(size, 'x') + "\",\"u\":1,\"v\":\"1\"}";
    };
    for (int i = 0; i < 1003; ++i) {
        ASSERT_TRUE(spool.Keep(body(i, 10)));
    }
    std::vector<std::string> names = spool.Pending();
    ASSERT_EQ(names.size(), 1000u);
    EXPECT_EQ(spool.Read(names.front()), body(3, 10));
    EXPECT_EQ(spool.Read(names.back()), body(1002, 10));

    spool.Clear();
    for (int i = 0; i < 600; ++i) {
        ASSERT_TRUE(spool.Keep(body(i, 2000)));
    }
    names = spool.Pending();
    std::uintmax_t total = 0;
    for (const std::string& name : names) {
        total += std::filesystem::file_size(state.path() / name);
    }
    EXPECT_LE(total, 1u << 20);
    EXPECT_GT(total, (1u << 20) - 4096);
    EXPECT_EQ(spool.Read(names.back()), body(599, 2000));
}

} // namespace
} // namespace inkwarden

// The service against slow and stalled clients and a data folder that fails under it.
#include "TestEvents.h"
#include "net/ServiceProtocol.h"
#include "tests/support/DemoServiceProcess.h"
#include "tests/support/RawHttpConnection.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmpfsMount.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <httplib.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>
#include <vector>

namespace inkwarden {
namespace {

using namespace std::chrono_literals;

// Fifty clients that send one header line per second hold fifty connections; a normal
// request still comes back within a second.
TEST(DemoServiceRobustnessTest, SlowClientsDoNotDelayOthers) {
    test::DemoServiceProcess service;
    ASSERT_TRUE(service.running()) << service.output();
    constexpr int SLOW_CLIENTS = 50;
    std::vector<std::unique_ptr<test::RawHttpConnection>> slow;
    for (int i = 0; i < SLOW_CLIENTS; ++i) {
        slow.push_back(std::make_unique<test::RawHttpConnection>(service.port()));
        ASSERT_TRUE(slow.back()->send("GET /api/events HTTP/1.1\r\n"));
    }
    std::atomic<bool> done{false};
    std::thread trickle([&] {
        for (int line = 0; !done; ++line) {
            for (auto& connection : slow) {
                connection->send("X-Slow-" + std::to_string(line) + ": 1\r\n");
            }
            for (int i = 0; i < 10 && !done; ++i) {
                std::this_thread::sleep_for(100ms);
            }
        }
    });
    std::this_thread::sleep_for(1500ms); // every slow client has a worker by now
    for (int i = 0; i < 5; ++i) {
        httplib::Client client("127.0.0.1", service.port());
        client.set_read_timeout(5, 0);
        const auto started = std::chrono::steady_clock::now();
        auto answer = client.Get("/api/events");
        const auto took = std::chrono::steady_clock::now() - started;
        ASSERT_TRUE(answer) << "request " << i;
        EXPECT_EQ(answer->status, 200);
        EXPECT_LT(took, 1s) << "request " << i;
    }
    done = true;
    trickle.join();
}

// A head that never ends is cut at the deadline with 408, whatever trickles in meanwhile.
TEST(DemoServiceRobustnessTest, AStalledRequestIsCutAtItsDeadline) {
    test::DemoServiceProcess service({"--read-timeout", "1000"});
    ASSERT_TRUE(service.running()) << service.output();
    test::RawHttpConnection stalled(service.port());
    ASSERT_TRUE(stalled.send("GET /api/events HTTP/1.1\r\nHost: x\r\n"));
    const auto started = std::chrono::steady_clock::now();
    std::string answer;
    for (int i = 0; i < 30 && answer.empty(); ++i) {
        stalled.send("X: 1\r\n");
        answer = stalled.receiveAll(100ms);
    }
    EXPECT_EQ(answer.rfind("HTTP/1.1 408", 0), 0u) << answer;
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2500ms);

    // A body that stops short: the connection goes.
    test::RawHttpConnection short_body(service.port());
    ASSERT_TRUE(short_body.send("POST /api/clientevent HTTP/1.1\r\nHost: x\r\n"
                                "Content-Length: 100\r\n\r\n{\"a\":"));
    EXPECT_TRUE(short_body.closedByServer(3s));
}

struct Tally {
    int accepted = 0;
    int failed = 0;
};

Tally PostEvents(int port, int count) {
    httplib::Client client("127.0.0.1", port);
    Tally tally;
    for (int i = 0; i < count; ++i) {
        auto answer = client.Post(EVENT_PATH, test::EventBody(901100 + i % 9), "application/json");
        if (answer && answer->status == 200 && answer->body == "1") {
            ++tally.accepted;
        } else if (answer && answer->status == 500 && answer->body != "1") {
            ++tally.failed;
        }
    }
    return tally;
}

bool AnswersTheVersionQuery(int port) {
    httplib::Client client("127.0.0.1", port);
    auto answer = client.Post(LATEST_VERSION_PATH, "not base64!", "application/json");
    return answer && answer->status == 400;
}

// The disk fills: every event that did not fit answers 500, each accepted one is a row, and
// the service goes on answering.
TEST(DemoServiceRobustnessTest, AFullDataFolderAnswers500) {
    test::TempDir data;
    test::TmpfsMount disk(data.path().string(), 96 * 1024);
    if (!disk.mounted()) {
        GTEST_SKIP() << disk.why();
    }
    test::DemoServiceProcess service({"--data", data.path().string()});
    ASSERT_TRUE(service.running()) << service.output();
    const Tally tally = PostEvents(service.port(), 600);
    EXPECT_GT(tally.accepted, 0);
    EXPECT_GT(tally.failed, 0) << "96 KiB held every event";
    EXPECT_EQ(tally.accepted + tally.failed, 600);
    EXPECT_EQ(service.eventPages().size(), static_cast<size_t>(tally.accepted));
    EXPECT_TRUE(AnswersTheVersionQuery(service.port()));
    EXPECT_NE(service.output().find("NOT STORED (500)"), std::string::npos);
}

// A read-only folder: events answer 500 until it is writable, then they are stored.
TEST(DemoServiceRobustnessTest, AReadOnlyDataFolderAnswers500UntilWritable) {
    test::TempDir data;
    test::TmpfsMount disk(data.path().string(), 1 << 20, true);
    if (!disk.mounted()) {
        GTEST_SKIP() << disk.why();
    }
    test::DemoServiceProcess service({"--data", data.path().string()});
    ASSERT_TRUE(service.running()) << service.output();
    EXPECT_NE(service.output().find("events cannot be stored"), std::string::npos);
    const Tally refused = PostEvents(service.port(), 3);
    EXPECT_EQ(refused.failed, 3);
    httplib::Client client("127.0.0.1", service.port());
    auto list = client.Get("/api/events");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->status, 500);
    // What failed, not where the server keeps its data.
    EXPECT_EQ(list->body.find(data.path().string()), std::string::npos) << list->body;
    EXPECT_TRUE(AnswersTheVersionQuery(service.port()));

    ASSERT_TRUE(disk.setReadOnly(false));
    EXPECT_EQ(PostEvents(service.port(), 2).accepted, 2);
    EXPECT_EQ(service.eventCodes(2).size(), 2u);
}

} // namespace
} // namespace inkwarden

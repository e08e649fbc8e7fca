// The service while another connection holds the events database's write lock: the version
// query and the packages answer at once, events wait in the queue or are turned away with
// 503 and Retry-After, and every event answered as stored is a row.
#include "TestEvents.h"
#include "net/ServiceProtocol.h"
#include "telemetry/PayloadCipher.h"
#include "tests/support/DemoServiceProcess.h"
#include "tests/support/TempDir.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <httplib.h>
#include <sqlite3.h>
#include <thread>
#include <vector>

namespace inkwarden {
namespace {

using namespace std::chrono_literals;

struct EventAnswers {
    std::atomic<int> stored{0};
    std::atomic<int> busy{0};   // 503 with Retry-After
    std::atomic<int> failed{0}; // 500
    std::atomic<int> other{0};
};

void PostEvent(int port, int code, EventAnswers& answers) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(30, 0);
    auto answer = client.Post(EVENT_PATH, test::EventBody(code), "application/json");
    if (answer && answer->status == 200 && answer->body == "1") {
        ++answers.stored;
    } else if (answer && answer->status == 503 && answer->has_header("Retry-After")) {
        ++answers.busy;
    } else if (answer && answer->status == 500) {
        ++answers.failed;
    } else {
        ++answers.other;
    }
}

TEST(LockedStoreTest, ALockedStoreCostsOnlyEventAnswers) {
    test::TempDir data;
    test::TempDir packages;
    std::ofstream(packages.file("pkg.bin"), std::ios::binary) << std::string(1 << 16, 'p');
    std::ofstream(packages.file("release.json"))
        << R"({"Soft_name":"a","Version_number":"1","Version_description":"",
        "Download_url":"","Download_silent_url":"{service}/packages/pkg.bin","Pubdate":""})";
    test::DemoServiceProcess service({"--data", data.path().string(), "--packages",
                                      packages.path().string(), "--release",
                                      packages.file("release.json"), "--no-signing"});
    ASSERT_TRUE(service.running()) << service.output();
    EventAnswers before;
    PostEvent(service.port(), 901100, before);
    ASSERT_EQ(before.stored, 1);

    // An administrator's shell left inside a write transaction.
    sqlite3* admin = nullptr;
    ASSERT_EQ(sqlite3_open((data.path() / "events.sqlite3").c_str(), &admin), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(admin, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    constexpr int EVENTS = 80; // more than the queue holds
    EventAnswers answers;
    std::vector<std::thread> clients;
    for (int i = 0; i < EVENTS; ++i) {
        clients.emplace_back([&, i] { PostEvent(service.port(), 901100 + i % 9, answers); });
    }
    // The queue is full once the first event is turned away.
    for (int i = 0; i < 200 && answers.busy == 0; ++i) {
        std::this_thread::sleep_for(25ms);
    }
    EXPECT_GT(answers.busy, 0);

    httplib::Client client("127.0.0.1", service.port());
    client.set_read_timeout(5, 0);
    const std::string query = Base64Encode(EncryptPayload(
        PayloadKey{}, R"({"a":7,"p":"0123","s":"inkwarden-windows","u":57426,"v":"1.0.0.1"})"));
    for (int round = 0; round < 3; ++round) {
        auto started = std::chrono::steady_clock::now();
        auto reply = client.Post(LATEST_VERSION_PATH, query, "application/json");
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, 200);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 1s) << "version query " << round;
        started = std::chrono::steady_clock::now();
        auto package = client.Get("/packages/pkg.bin", {{"Range", "bytes=0-1023"}});
        ASSERT_TRUE(package);
        EXPECT_EQ(package->status, 206);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 1s) << "package " << round;
    }

    sqlite3_exec(admin, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(admin);
    for (std::thread& thread : clients) {
        thread.join();
    }
    EXPECT_EQ(answers.other, 0);
    EXPECT_EQ(answers.stored + answers.busy + answers.failed, EVENTS);
    // Each stored answer is a row; nothing turned away was stored behind the client's back.
    EXPECT_EQ(service.eventPages().size(), static_cast<size_t>(1 + answers.stored));
    // Once the lock is gone, events are stored again.
    EventAnswers after;
    PostEvent(service.port(), 901200, after);
    EXPECT_EQ(after.stored, 1);
}

} // namespace
} // namespace inkwarden

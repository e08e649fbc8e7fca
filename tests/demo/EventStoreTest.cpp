// The two event stores through their interface, and the service on PostgreSQL.
#include "TestEvents.h"
#include "demo/IEventStore.h"
#include "net/ServiceProtocol.h"
#include "tests/support/DemoServiceProcess.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/TempDir.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <httplib.h>
#include <libpq-fe.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

namespace inkwarden {
namespace {

demo::ReceivedEvent Event(int code, const std::string& machine_id) {
    demo::ReceivedEvent event;
    event.code = code;
    event.app_id = 7;
    event.union_id = 57426;
    event.machine_id = machine_id;
    event.client_version = "1.0.0.1";
    event.check = "00";
    event.check_matches = code % 2 == 0;
    return event;
}

// What every store must do: rows in order with their fields, paging, and writers on threads.
void ExerciseStore(demo::IEventStore& store) {
    std::string error;
    ASSERT_TRUE(store.connect(error)) << error;
    std::int64_t first = 0;
    ASSERT_TRUE(store.append(Event(901100, "A'B\"C\\ 中"), 1000, first, error)) << error;
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&store, t] {
            for (int i = 0; i < 25; ++i) {
                std::int64_t id = 0;
                std::string why;
                EXPECT_TRUE(store.append(Event(901200 + t, "T"), 2000 + i, id, why)) << why;
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    std::vector<demo::StoredEvent> rows;
    ASSERT_TRUE(store.list(0, 1000, rows, error)) << error;
    ASSERT_EQ(rows.size(), 101u);
    EXPECT_EQ(rows[0].id, first);
    EXPECT_EQ(rows[0].received_ms, 1000);
    EXPECT_EQ(rows[0].event.machine_id, "A'B\"C\\ 中");
    EXPECT_EQ(rows[0].event.code, 901100);
    EXPECT_EQ(rows[0].event.union_id, 57426);
    EXPECT_EQ(rows[0].event.check, "00");
    EXPECT_TRUE(rows[0].event.check_matches);
    for (size_t i = 1; i < rows.size(); ++i) {
        EXPECT_LT(rows[i - 1].id, rows[i].id);
    }
    std::vector<demo::StoredEvent> page;
    ASSERT_TRUE(store.list(rows[49].id, 10, page, error)) << error;
    ASSERT_EQ(page.size(), 10u);
    EXPECT_EQ(page[0].id, rows[50].id);
}

TEST(EventStoreTest, SqliteKeepsRowsInOrder) {
    test::TempDir data;
    std::string error;
    auto store = demo::IEventStore::Open("", (data.path() / "deeper").string(), error);
    ASSERT_TRUE(store) << error;
    ExerciseStore(*store);
    // A second store on the same file, as a second service on the same folder.
    auto other = demo::IEventStore::Open("", (data.path() / "deeper").string(), error);
    std::vector<demo::StoredEvent> rows;
    ASSERT_TRUE(other->list(0, 1000, rows, error)) << error;
    EXPECT_EQ(rows.size(), 101u);
    EXPECT_FALSE(demo::IEventStore::Open("mysql://x", "/tmp", error));
    EXPECT_NE(error.find("postgresql://"), std::string::npos);
}

class PostgresEventStoreTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = new test::PostgresServer(); }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        if (!server_->running()) {
            GTEST_SKIP() << "no PostgreSQL server: " << server_->why();
        }
        server_->query("DROP TABLE IF EXISTS events");
    }
    static test::PostgresServer* server_;
};

test::PostgresServer* PostgresEventStoreTest::server_ = nullptr;

TEST_F(PostgresEventStoreTest, KeepsRowsInOrder) {
    std::string error;
    auto store = demo::IEventStore::Open(server_->uri(), "", error);
    ASSERT_TRUE(store) << error;
    ExerciseStore(*store);
    EXPECT_EQ(server_->query("SELECT count(*) FROM events"), "101");
}

// The service on PostgreSQL: rows equal accepted answers, a restart keeps them, and a
// database that goes away answers 500 without stopping the service.
TEST_F(PostgresEventStoreTest, ServiceStoresEventsThere) {
    {
        test::DemoServiceProcess service({"--events", server_->uri()});
        ASSERT_TRUE(service.running()) << service.output();
        // The store's line follows the listening line: it may not have been read yet.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (service.output().find("events in PostgreSQL") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_NE(service.output().find("events in PostgreSQL"), std::string::npos)
            << service.output();
        httplib::Client client("127.0.0.1", service.port());
        for (int code : {901100, 901101}) {
            auto answer = client.Post(EVENT_PATH, test::EventBody(code), "application/json");
            ASSERT_TRUE(answer);
            EXPECT_EQ(answer->body, "1");
        }
    }
    test::DemoServiceProcess again({"--events", server_->uri()});
    ASSERT_TRUE(again.running()) << again.output();
    EXPECT_EQ(again.eventCodes(2), (std::vector<int>{901100, 901101}));
    EXPECT_EQ(server_->query("SELECT count(*) FROM events WHERE k_matches"), "2");

    server_->query("DROP TABLE events");
    httplib::Client client("127.0.0.1", again.port());
    auto lost = client.Post(EVENT_PATH, test::EventBody(901200), "application/json");
    ASSERT_TRUE(lost);
    EXPECT_EQ(lost->status, 500);
    EXPECT_EQ(client.Get("/api/events")->status, 500);
}

// Two services on one database, another writer's slow transactions between their inserts,
// and a reader that pages with "since" all the while: it sees every row, once, in order.
TEST_F(PostgresEventStoreTest, PagingNeverSkipsTheRowOfASlowTransaction) {
    test::DemoServiceProcess first({"--events", server_->uri()});
    test::DemoServiceProcess second({"--events", server_->uri()});
    ASSERT_TRUE(first.running()) << first.output();
    ASSERT_TRUE(second.running()) << second.output();

    std::atomic<bool> writing{true};
    std::vector<std::int64_t> seen;
    std::thread reader([&] {
        httplib::Client client("127.0.0.1", first.port());
        for (std::int64_t since = 0;;) {
            const bool last_pass = !writing;
            auto page = client.Get("/api/events?since=" + std::to_string(since));
            const auto rows = nlohmann::json::parse(page ? page->body : "", nullptr, false);
            if (!rows.is_array() || (rows.empty() && last_pass)) {
                return;
            }
            for (const auto& row : rows) {
                since = row["id"].get<std::int64_t>();
                seen.push_back(since);
            }
        }
    });
    std::thread slow([&] {
        PGconn* connection = PQconnectdb(server_->uri().c_str());
        for (int i = 0; i < 3; ++i) {
            PQclear(PQexec(connection,
                           "BEGIN; INSERT INTO events (received_ms, code, app_id, union_id,"
                           " machine_id, client_version, k, k_matches) VALUES"
                           " (0, 901999, 7, 1, 'slow', '1', '', false);"
                           " SELECT pg_sleep(0.3); COMMIT;"));
        }
        PQfinish(connection);
    });
    std::vector<std::thread> posters;
    for (const int port : {first.port(), second.port()}) {
        posters.emplace_back([port] {
            httplib::Client client("127.0.0.1", port);
            for (int i = 0; i < 40; ++i) {
                auto answer = client.Post(EVENT_PATH, test::EventBody(901100), "application/json");
                EXPECT_TRUE(answer && answer->status == 200);
            }
        });
    }
    for (std::thread& poster : posters) {
        poster.join();
    }
    slow.join();
    writing = false;
    reader.join();

    std::vector<std::int64_t> stored;
    std::istringstream ids(server_->query("SELECT id FROM events ORDER BY id"));
    for (std::string id; std::getline(ids, id);) {
        stored.push_back(std::stoll(id));
    }
    EXPECT_EQ(stored.size(), 83u);
    EXPECT_EQ(seen, stored);
}

TEST(EventStoreOptionTest, AnUnreachableDatabaseAnswers500) {
    test::TempDir nowhere;
    test::DemoServiceProcess service(
        {"--events", "postgresql:///x?host=" + nowhere.path().string() + "&connect_timeout=2"});
    ASSERT_TRUE(service.running()) << service.output();
    EXPECT_NE(service.output().find("events cannot be stored"), std::string::npos);
    httplib::Client client("127.0.0.1", service.port());
    auto answer = client.Post(EVENT_PATH, test::EventBody(901100), "application/json");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 500);
}

} // namespace
} // namespace inkwarden

#pragma once

#include "demo/IEventStore.h"
#include "platform/UniqueResource.h"

#include <mutex>
#include <sqlite3.h>
#include <string>

namespace inkwarden::demo {

// The events in one SQLite file, events.sqlite3 in the data folder, in WAL mode: one writer
// connection and one reader connection, so that listing never waits for a commit. Several
// services may share the file (SQLite locks it).
class SqliteEventStore : public IEventStore {
public:
    explicit SqliteEventStore(std::string data_dir);

    bool connect(std::string& error) override;
    bool appendAll(const std::vector<NewEvent>& events, std::vector<std::int64_t>& ids,
                   std::string& error) override;
    bool list(std::int64_t since, std::size_t limit, std::vector<StoredEvent>& events,
              std::string& error) override;
    std::string describe() const override;

private:
    using Database = UniqueResource<sqlite3, sqlite3_close>;
    using Statement = UniqueResource<sqlite3_stmt, sqlite3_finalize>;

    // A connection with its one prepared statement, opened on first use and again after an
    // open failed.
    struct Connection {
        Database db;
        Statement statement;
    };

    bool openWriter(std::string& error);
    bool openReader(std::string& error);
    bool open(Connection& connection, int flags, const char* sql, std::string& error);

    std::string data_dir_;
    std::string path_;
    std::mutex write_lock_;
    Connection writer_;
    std::mutex read_lock_;
    Connection reader_;
};

} // namespace inkwarden::demo

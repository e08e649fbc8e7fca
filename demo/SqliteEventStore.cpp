#include "demo/SqliteEventStore.h"

#include <filesystem>

namespace inkwarden::demo {
namespace {

// Other services on the same file hold its lock for a commit at most.
constexpr int BUSY_TIMEOUT_MS = 5000;

const char* const SCHEMA = "PRAGMA journal_mode=WAL;"
                           "PRAGMA synchronous=NORMAL;"
                           "CREATE TABLE IF NOT EXISTS events ("
                           " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                           " received_ms INTEGER NOT NULL,"
                           " code INTEGER NOT NULL,"
                           " app_id INTEGER NOT NULL,"
                           " union_id INTEGER NOT NULL,"
                           " machine_id TEXT NOT NULL,"
                           " client_version TEXT NOT NULL,"
                           " k TEXT NOT NULL,"
                           " k_matches INTEGER NOT NULL);";

const char* const INSERT = "INSERT INTO events (received_ms, code, app_id, union_id, machine_id,"
                           " client_version, k, k_matches) VALUES (?, ?, ?, ?, ?, ?, ?, ?)";

const char* const SELECT = "SELECT id, received_ms, code, app_id, union_id, machine_id,"
                           " client_version, k, k_matches FROM events WHERE id > ?"
                           " ORDER BY id LIMIT ?";

std::string Reason(sqlite3* db, const std::string& doing) {
    return doing + ": " + (db != nullptr ? sqlite3_errmsg(db) : "out of memory");
}

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
}

std::string ColumnText(sqlite3_stmt* statement, int index) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
    return text != nullptr
               ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement, index)))
               : std::string();
}

// Clears a statement's state after each use, whatever happened.
struct StatementReset {
    sqlite3_stmt* statement;
    ~StatementReset() {
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
    }
};

} // namespace

SqliteEventStore::SqliteEventStore(std::string data_dir)
    : data_dir_(std::move(data_dir)), path_(data_dir_ + "/events.sqlite3") {}

std::string SqliteEventStore::describe() const {
    return "SQLite " + path_;
}

bool SqliteEventStore::open(Connection& connection, int flags, const char* sql,
                            std::string& error) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path_.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    Database db(raw);
    if (rc != SQLITE_OK) {
        error = Reason(raw, "cannot open " + path_);
        return false;
    }
    sqlite3_busy_timeout(raw, BUSY_TIMEOUT_MS);
    char* message = nullptr;
    if (sqlite3_exec(raw, SCHEMA, nullptr, nullptr, &message) != SQLITE_OK) {
        error = "cannot prepare " + path_ + ": " + (message != nullptr ? message : "unknown error");
        sqlite3_free(message);
        return false;
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(raw, sql, -1, &statement, nullptr) != SQLITE_OK) {
        error = Reason(raw, "cannot prepare a statement on " + path_);
        return false;
    }
    connection.statement.reset(statement);
    connection.db = std::move(db);
    return true;
}

bool SqliteEventStore::openWriter(std::string& error) {
    if (writer_.db) {
        return true;
    }
    std::error_code ec;
    std::filesystem::create_directories(data_dir_, ec);
    if (ec) {
        error = "cannot create the data folder " + data_dir_ + ": " + ec.message();
        return false;
    }
    return open(writer_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, INSERT, error);
}

bool SqliteEventStore::openReader(std::string& error) {
    // The reader needs the file and the schema that the writer makes.
    if (reader_.db) {
        return true;
    }
    {
        std::lock_guard<std::mutex> lock(write_lock_);
        if (!openWriter(error)) {
            return false;
        }
    }
    return open(reader_, SQLITE_OPEN_READWRITE, SELECT, error);
}

bool SqliteEventStore::connect(std::string& error) {
    std::lock_guard<std::mutex> lock(read_lock_);
    return openReader(error);
}

bool SqliteEventStore::appendAll(const std::vector<NewEvent>& events,
                                 std::vector<std::int64_t>& ids, std::string& error) {
    std::lock_guard<std::mutex> lock(write_lock_);
    ids.clear();
    if (!openWriter(error)) {
        return false;
    }
    sqlite3* db = writer_.db.get();
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        error = Reason(db, "cannot store the events in " + path_);
        return false;
    }
    sqlite3_stmt* insert = writer_.statement.get();
    for (const NewEvent& row : events) {
        StatementReset reset{insert};
        const ReceivedEvent& event = row.event;
        sqlite3_bind_int64(insert, 1, row.received_ms);
        sqlite3_bind_int(insert, 2, event.code);
        sqlite3_bind_int(insert, 3, event.app_id);
        sqlite3_bind_int(insert, 4, event.union_id);
        BindText(insert, 5, event.machine_id);
        BindText(insert, 6, event.client_version);
        BindText(insert, 7, event.check);
        sqlite3_bind_int(insert, 8, event.check_matches ? 1 : 0);
        if (sqlite3_step(insert) != SQLITE_DONE) {
            break;
        }
        ids.push_back(sqlite3_last_insert_rowid(db));
    }
    if (ids.size() != events.size() ||
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        error = Reason(db, "cannot store the events in " + path_);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        ids.clear();
        return false;
    }
    return true;
}

bool SqliteEventStore::list(std::int64_t since, std::size_t limit, std::vector<StoredEvent>& events,
                            std::string& error) {
    std::lock_guard<std::mutex> lock(read_lock_);
    if (!openReader(error)) {
        return false;
    }
    sqlite3_stmt* select = reader_.statement.get();
    StatementReset reset{select};
    sqlite3_bind_int64(select, 1, since);
    sqlite3_bind_int64(select, 2, static_cast<std::int64_t>(limit));
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(select)) == SQLITE_ROW) {
        StoredEvent row;
        row.id = sqlite3_column_int64(select, 0);
        row.received_ms = sqlite3_column_int64(select, 1);
        row.event.code = sqlite3_column_int(select, 2);
        row.event.app_id = sqlite3_column_int(select, 3);
        row.event.union_id = sqlite3_column_int(select, 4);
        row.event.machine_id = ColumnText(select, 5);
        row.event.client_version = ColumnText(select, 6);
        row.event.check = ColumnText(select, 7);
        row.event.check_matches = sqlite3_column_int(select, 8) != 0;
        events.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) {
        error = Reason(reader_.db.get(), "cannot read the events from " + path_);
        return false;
    }
    return true;
}

} // namespace inkwarden::demo

#include "demo/PostgresEventStore.h"

#include <cstdlib>

namespace inkwarden::demo {
namespace {

// Row numbers in commit order: every insert, ours or anyone's, takes one lock and draws its
// number under it, and the lock goes only once the row is visible. A row can therefore never
// appear below a number that a reader has already seen, and "since=ID" never skips a row.
// Starting services take a lock of their own, so that two never make the schema at once; the
// trigger is made only where it is missing, since making it waits for every insert.
const char* const SCHEMA = "BEGIN;"
                           "SELECT pg_advisory_xact_lock(1768843128);"
                           "CREATE TABLE IF NOT EXISTS events ("
                           " id BIGSERIAL PRIMARY KEY,"
                           " received_ms BIGINT NOT NULL,"
                           " code INTEGER NOT NULL,"
                           " app_id INTEGER NOT NULL,"
                           " union_id INTEGER NOT NULL,"
                           " machine_id TEXT NOT NULL,"
                           " client_version TEXT NOT NULL,"
                           " k TEXT NOT NULL,"
                           " k_matches BOOLEAN NOT NULL);"
                           "CREATE OR REPLACE FUNCTION events_in_commit_order() RETURNS trigger"
                           " LANGUAGE plpgsql AS $$ BEGIN"
                           " PERFORM pg_advisory_xact_lock(1768843127);"
                           " NEW.id := nextval(pg_get_serial_sequence('events', 'id'));"
                           " RETURN NEW; END $$;"
                           "DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_trigger"
                           " WHERE tgname = 'events_in_commit_order'"
                           " AND tgrelid = 'events'::regclass) THEN"
                           " CREATE TRIGGER events_in_commit_order BEFORE INSERT ON events"
                           " FOR EACH ROW EXECUTE FUNCTION events_in_commit_order();"
                           " END IF; END $$;"
                           "COMMIT;";

const char* const INSERT = "INSERT INTO events (received_ms, code, app_id, union_id, machine_id,"
                           " client_version, k, k_matches)"
                           " VALUES ($1, $2, $3, $4, $5, $6, $7, $8) RETURNING id";

const char* const SELECT = "SELECT id, received_ms, code, app_id, union_id, machine_id,"
                           " client_version, k, k_matches FROM events WHERE id > $1"
                           " ORDER BY id LIMIT $2";

constexpr const char* CONNECT_TIMEOUT_SECONDS = "5";

std::string Reason(PGconn* connection, const std::string& doing) {
    std::string message = connection != nullptr ? PQerrorMessage(connection) : "out of memory";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
        message.pop_back();
    }
    return doing + ": " + message;
}

std::int64_t ToInt64(const char* text) {
    return std::strtoll(text, nullptr, 10);
}

} // namespace

PostgresEventStore::PostgresEventStore(std::string conninfo, std::size_t connections)
    : conninfo_(std::move(conninfo)), capacity_(connections > 0 ? connections : 1) {}

std::string PostgresEventStore::describe() const {
    // The URI may carry a password: only its host part is shown.
    const size_t at = conninfo_.rfind('@');
    const size_t scheme = conninfo_.find("://");
    return "PostgreSQL " + (at != std::string::npos
                                ? conninfo_.substr(0, scheme + 3) + "…" + conninfo_.substr(at)
                                : conninfo_);
}

PostgresEventStore::Connection PostgresEventStore::open(std::string& error) {
    // A time limit for reaching the server unless the URI names its own (later ones win).
    const char* const keywords[] = {"connect_timeout", "dbname", nullptr};
    const char* const values[] = {CONNECT_TIMEOUT_SECONDS, conninfo_.c_str(), nullptr};
    Connection connection(PQconnectdbParams(keywords, values, 1));
    if (!connection || PQstatus(connection.get()) != CONNECTION_OK) {
        error = Reason(connection.get(), "cannot connect to the events database");
        return nullptr;
    }
    Result schema(PQexec(connection.get(), SCHEMA));
    if (PQresultStatus(schema.get()) != PGRES_COMMAND_OK) {
        error = Reason(connection.get(), "cannot create the events table");
        return nullptr;
    }
    for (const auto& [name, sql] : {std::pair{"insert_event", INSERT}, {"list_events", SELECT}}) {
        Result prepared(PQprepare(connection.get(), name, sql, 0, nullptr));
        if (PQresultStatus(prepared.get()) != PGRES_COMMAND_OK) {
            error = Reason(connection.get(), "cannot prepare a statement");
            return nullptr;
        }
    }
    return connection;
}

PostgresEventStore::Connection PostgresEventStore::take(std::string& error) {
    std::unique_lock<std::mutex> lock(lock_);
    returned_.wait(lock, [this] { return !idle_.empty() || lent_ < capacity_; });
    ++lent_;
    if (!idle_.empty()) {
        Connection connection = std::move(idle_.back());
        idle_.pop_back();
        return connection;
    }
    // A new connection is made outside the lock; the slot is already counted.
    lock.unlock();
    Connection connection = open(error);
    if (!connection) {
        give(nullptr);
    }
    return connection;
}

void PostgresEventStore::give(Connection connection) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        --lent_;
        if (connection && PQstatus(connection.get()) == CONNECTION_OK) {
            idle_.push_back(std::move(connection));
        }
    }
    returned_.notify_one();
}

PostgresEventStore::Lease::Lease(PostgresEventStore& store, Connection connection)
    : store_(store), connection_(std::move(connection)) {}

PostgresEventStore::Lease::~Lease() {
    if (connection_) {
        store_.give(std::move(connection_));
    }
}

bool PostgresEventStore::connect(std::string& error) {
    Connection connection = take(error);
    if (!connection) {
        return false;
    }
    Lease lease(*this, std::move(connection));
    return true;
}

bool PostgresEventStore::appendAll(const std::vector<NewEvent>& events,
                                   std::vector<std::int64_t>& ids, std::string& error) {
    ids.clear();
    Connection connection = take(error);
    if (!connection) {
        return false;
    }
    Lease lease(*this, std::move(connection));
    const auto command = [&](const char* sql) {
        Result result(PQexec(lease.get(), sql));
        return PQresultStatus(result.get()) == PGRES_COMMAND_OK;
    };
    if (!command("BEGIN")) {
        error = Reason(lease.get(), "cannot store the events");
        return false;
    }
    for (const NewEvent& row : events) {
        const ReceivedEvent& event = row.event;
        const std::string numbers[] = {std::to_string(row.received_ms), std::to_string(event.code),
                                       std::to_string(event.app_id),
                                       std::to_string(event.union_id)};
        const char* values[] = {numbers[0].c_str(),       numbers[1].c_str(),
                                numbers[2].c_str(),       numbers[3].c_str(),
                                event.machine_id.c_str(), event.client_version.c_str(),
                                event.check.c_str(),      event.check_matches ? "true" : "false"};
        Result result(PQexecPrepared(lease.get(), "insert_event", 8, values, nullptr, nullptr, 0));
        if (PQresultStatus(result.get()) != PGRES_TUPLES_OK || PQntuples(result.get()) != 1) {
            break;
        }
        ids.push_back(ToInt64(PQgetvalue(result.get(), 0, 0)));
    }
    if (ids.size() != events.size() || !command("COMMIT")) {
        error = Reason(lease.get(), "cannot store the events");
        command("ROLLBACK");
        ids.clear();
        return false;
    }
    return true;
}

bool PostgresEventStore::list(std::int64_t since, std::size_t limit,
                              std::vector<StoredEvent>& events, std::string& error) {
    Connection connection = take(error);
    if (!connection) {
        return false;
    }
    Lease lease(*this, std::move(connection));
    const std::string since_text = std::to_string(since);
    const std::string limit_text = std::to_string(limit);
    const char* values[] = {since_text.c_str(), limit_text.c_str()};
    Result result(PQexecPrepared(lease.get(), "list_events", 2, values, nullptr, nullptr, 0));
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
        error = Reason(lease.get(), "cannot read the events");
        return false;
    }
    PGresult* rows = result.get();
    for (int row = 0; row < PQntuples(rows); ++row) {
        StoredEvent stored;
        stored.id = ToInt64(PQgetvalue(rows, row, 0));
        stored.received_ms = ToInt64(PQgetvalue(rows, row, 1));
        stored.event.code = static_cast<std::int32_t>(ToInt64(PQgetvalue(rows, row, 2)));
        stored.event.app_id = static_cast<std::int32_t>(ToInt64(PQgetvalue(rows, row, 3)));
        stored.event.union_id = static_cast<std::int32_t>(ToInt64(PQgetvalue(rows, row, 4)));
        stored.event.machine_id = PQgetvalue(rows, row, 5);
        stored.event.client_version = PQgetvalue(rows, row, 6);
        stored.event.check = PQgetvalue(rows, row, 7);
        stored.event.check_matches = PQgetvalue(rows, row, 8)[0] == 't';
        events.push_back(std::move(stored));
    }
    return true;
}

} // namespace inkwarden::demo

#pragma once

#include "demo/DemoProtocol.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace inkwarden::demo {

// One stored event: its row number, when it arrived (milliseconds since 1970, UTC) and what
// it carried, with the result of its check value.
struct StoredEvent {
    std::int64_t id = 0;
    std::int64_t received_ms = 0;
    ReceivedEvent event;
};

// Where the service keeps the events it accepts. Every call may come from any worker thread.
// A store that cannot reach its database fails each call with a reason and tries again on the
// next one, so an outage never stops the version query and ends when the database is back.
class IEventStore {
public:
    virtual ~IEventStore() = default;

    // Reaches the database now (at start-up), so that a broken store shows at once.
    virtual bool connect(std::string& error) = 0;

    struct NewEvent {
        ReceivedEvent event;
        std::int64_t received_ms = 0;
    };

    // Stores one event; true only once the row is committed (id is its row number).
    bool append(const ReceivedEvent& event, std::int64_t received_ms, std::int64_t& id,
                std::string& error);

    // Stores the events in one transaction, all or none, in their order; true only once the
    // rows are committed (ids are their row numbers, in the same order).
    virtual bool appendAll(const std::vector<NewEvent>& events, std::vector<std::int64_t>& ids,
                           std::string& error) = 0;

    // At most limit events with row numbers above since, in row order.
    virtual bool list(std::int64_t since, std::size_t limit, std::vector<StoredEvent>& events,
                      std::string& error) = 0;

    // Where the rows go, for the start-up line ("SQLite /path/events.sqlite3").
    virtual std::string describe() const = 0;

    // The store that --events names: "postgresql://…" or "postgres://…" (a libpq connection
    // URI) for PostgreSQL; empty for SQLite in data_dir. Null with a reason for anything else.
    static std::unique_ptr<IEventStore> Open(const std::string& events, const std::string& data_dir,
                                             std::string& error);
};

} // namespace inkwarden::demo

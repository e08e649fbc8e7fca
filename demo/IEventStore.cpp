#include "demo/IEventStore.h"

#include "demo/PostgresEventStore.h"
#include "demo/SqliteEventStore.h"

namespace inkwarden::demo {

std::unique_ptr<IEventStore> IEventStore::Open(const std::string& events,
                                               const std::string& data_dir, std::string& error) {
    if (events.empty()) {
        if (data_dir.empty()) {
            error = "no data folder for the events";
            return nullptr;
        }
        return std::make_unique<SqliteEventStore>(data_dir);
    }
    if (events.rfind("postgresql://", 0) == 0 || events.rfind("postgres://", 0) == 0) {
        return std::make_unique<PostgresEventStore>(events);
    }
    error = "--events takes a postgresql:// connection URI (without it, events go to SQLite "
            "in the data folder)";
    return nullptr;
}

bool IEventStore::append(const ReceivedEvent& event, std::int64_t received_ms, std::int64_t& id,
                         std::string& error) {
    std::vector<std::int64_t> ids;
    if (!appendAll({NewEvent{event, received_ms}}, ids, error)) {
        return false;
    }
    id = ids.front();
    return true;
}

} // namespace inkwarden::demo

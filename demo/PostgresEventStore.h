#pragma once

#include "demo/IEventStore.h"
#include "platform/UniqueResource.h"

#include <condition_variable>
#include <libpq-fe.h>
#include <mutex>
#include <string>
#include <vector>

namespace inkwarden::demo {

// The events in a PostgreSQL table "events", for a vendor whose traffic outgrows one machine:
// several services on several machines write into one database. A few connections, each used
// by one request at a time; a connection that breaks is dropped and made anew on demand.
class PostgresEventStore : public IEventStore {
public:
    static constexpr std::size_t CONNECTIONS = 8;

    explicit PostgresEventStore(std::string conninfo, std::size_t connections = CONNECTIONS);

    bool connect(std::string& error) override;
    bool appendAll(const std::vector<NewEvent>& events, std::vector<std::int64_t>& ids,
                   std::string& error) override;
    bool list(std::int64_t since, std::size_t limit, std::vector<StoredEvent>& events,
              std::string& error) override;
    std::string describe() const override;

private:
    using Connection = UniqueResource<PGconn, PQfinish>;
    using Result = UniqueResource<PGresult, PQclear>;

    // One connection taken from the pool for one call; it goes back (or, when it broke,
    // away) at the end of the scope.
    class Lease {
    public:
        Lease(PostgresEventStore& store, Connection connection);
        ~Lease();
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        PGconn* get() const { return connection_.get(); }

    private:
        PostgresEventStore& store_;
        Connection connection_;
    };

    Connection take(std::string& error);
    void give(Connection connection);
    Connection open(std::string& error);

    std::string conninfo_;
    std::size_t capacity_;
    std::mutex lock_;
    std::condition_variable returned_;
    std::vector<Connection> idle_;
    std::size_t lent_ = 0;
};

} // namespace inkwarden::demo

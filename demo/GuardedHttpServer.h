#pragma once

#include "demo/RequestStream.h"

#include <chrono>
#include <cstddef>
#include <httplib.h>

namespace inkwarden::demo {

// The HTTP library's server with limits for hostile and slow clients: a deadline for each
// request's head and body, a head size limit, a body limit (413 beyond it, 411 for a body
// without a declared length), enough workers
// that slow clients cannot starve the others, and a listen backlog for many clients at once.
class GuardedHttpServer : public httplib::Server {
public:
    struct Limits {
        RequestStream::Limits request;
        std::size_t workers = 128;
        std::chrono::milliseconds keep_alive_idle{5000};
        std::size_t keep_alive_requests = 100;
        int listen_backlog = 1024;
    };

    explicit GuardedHttpServer(Limits limits);

    // After a bind: the library listens with a backlog of 5, which drops connections when
    // dozens of clients arrive together. False when the socket refused.
    bool widenBacklog();

    // Stops listening, also when called before listening began (the library's stop() does
    // nothing then, and a signal that comes early would be lost). Any thread.
    void halt();

private:
    bool process_and_close_socket(socket_t sock) override;
    void answerFailure(RequestStream& stream) const;

    Limits limits_;
};

} // namespace inkwarden::demo

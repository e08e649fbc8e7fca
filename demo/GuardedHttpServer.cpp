#include "demo/GuardedHttpServer.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace inkwarden::demo {

GuardedHttpServer::GuardedHttpServer(Limits limits) : limits_(limits) {
    const std::size_t workers = limits_.workers;
    new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
    set_payload_max_length(limits_.request.max_body_bytes);
    set_keep_alive_max_count(limits_.keep_alive_requests);
    set_write_timeout(
        std::chrono::duration_cast<std::chrono::seconds>(limits_.request.write_timeout).count());
}

bool GuardedHttpServer::widenBacklog() {
    // Listening again on a listening socket only changes its backlog.
    const socket_t sock = svr_sock_;
    return sock != INVALID_SOCKET && ::listen(sock, limits_.listen_backlog) == 0;
}

void GuardedHttpServer::halt() {
    // The accept loop ends once it sees no socket; shutting the socket down wakes it.
    const socket_t sock = svr_sock_.exchange(INVALID_SOCKET);
    if (sock != INVALID_SOCKET) {
        ::shutdown(sock, SHUT_RDWR);
        ::close(sock);
    }
}

void GuardedHttpServer::answerFailure(RequestStream& stream) const {
    if (stream.headRead()) {
        return; // the library has answered what it read
    }
    const char* answer = nullptr;
    switch (stream.failure()) {
    case RequestStream::Failure::TIMED_OUT:
        answer = "HTTP/1.1 408 Request Timeout\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
        break;
    case RequestStream::Failure::HEAD_TOO_LARGE:
        answer = "HTTP/1.1 431 Request Header Fields Too Large\r\nConnection: close\r\n"
                 "Content-Length: 0\r\n\r\n";
        break;
    case RequestStream::Failure::LENGTH_REQUIRED:
        answer = "HTTP/1.1 411 Length Required\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
        break;
    case RequestStream::Failure::BODY_TOO_LARGE:
        answer = "HTTP/1.1 413 Payload Too Large\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
        break;
    case RequestStream::Failure::NONE:
    case RequestStream::Failure::CLOSED:
        return;
    }
    stream.write(answer, std::char_traits<char>::length(answer));
    // A client that is still sending reads the answer; a slow one gets no more time.
    if (stream.failure() != RequestStream::Failure::TIMED_OUT) {
        stream.drainBeforeClose();
    }
}

bool GuardedHttpServer::process_and_close_socket(socket_t sock) {
    // The library writes a response's head and body apart: without this, the body waits for
    // the client's delayed acknowledgement of the head.
    int yes = 1;
    ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof(yes));
    RequestStream stream(sock, limits_.request);
    const auto serving = [this] { return svr_sock_ != INVALID_SOCKET; };
    bool ok = false;
    for (std::size_t left = limits_.keep_alive_requests;
         left > 0 && stream.waitForRequest(limits_.keep_alive_idle, serving); --left) {
        stream.beginRequest();
        bool closed = false;
        ok = process_request(stream, left == 1, closed, nullptr);
        if (!ok) {
            answerFailure(stream);
        }
        // After a request that was not read whole, the stream's place in the bytes is lost.
        if (!ok || closed || stream.failure() != RequestStream::Failure::NONE) {
            break;
        }
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return ok;
}

} // namespace inkwarden::demo

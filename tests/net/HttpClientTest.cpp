#include "net/HttpClient.h"

#include "tests/support/FaultServer.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace inkwarden {
namespace {

const std::string HEADER = "Content-Type:application/json;charset=UTF-8";

// A cpp-httplib server on a free loopback port, run on its own thread.
class LoopbackServer {
public:
    LoopbackServer() {
        server.Post("/empty",
                    [](const httplib::Request&, httplib::Response& res) { res.status = 200; });
        server.Post("/moved", [](const httplib::Request&, httplib::Response& res) {
            res.status = 302;
            res.set_header("Location", "/empty");
            res.set_content("moved away", "text/plain");
        });
        server.Post("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("no such page", "text/plain");
        });
        server.Post("/echo", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content("echo:" + req.body, "text/plain");
        });
        server.Post("/counted", [this](const httplib::Request&, httplib::Response& res) {
            ++counted;
            res.set_content("1", "text/plain");
        });
        server.Post("/slow", [](const httplib::Request&, httplib::Response& res) {
            // One byte every 100 ms for ten seconds: alive for the library, slow for a person.
            res.set_chunked_content_provider(
                "text/plain", [](size_t offset, httplib::DataSink& sink) {
                    if (offset >= 100) {
                        sink.done();
                        return true;
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    return sink.write("x", 1);
                });
        });
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    ~LoopbackServer() {
        server.stop();
        thread.join();
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }

    httplib::Server server;
    int port = 0;
    std::thread thread;
    std::atomic<int> counted{0};
};

TEST(HttpClientTest, ReturnsStatusAndBodyOfEachAnswerUnfollowed) {
    LoopbackServer server;
    HttpClient client;
    const std::string body = "{}";

    const HttpResponse empty = client.Post(server.Url("/empty"), body, HEADER);
    EXPECT_EQ(empty.status, 200);
    EXPECT_EQ(empty.body, "");

    const HttpResponse moved = client.Post(server.Url("/moved"), body, HEADER);
    EXPECT_EQ(moved.status, 302);
    EXPECT_EQ(moved.body, "moved away");

    const HttpResponse missing = client.Post(server.Url("/missing"), body, HEADER);
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(missing.body, "no such page");
}

TEST(HttpClientTest, RequestsInARowReturnOnlyTheirOwnBodies) {
    LoopbackServer server;
    HttpClient client;
    const std::string first = "first";
    const std::string second = "second";
    EXPECT_EQ(client.Post(server.Url("/echo"), first, HEADER).body, "echo:first");
    const HttpResponse again = client.Post(server.Url("/echo"), second, HEADER);
    EXPECT_EQ(again.body, "echo:second");
    EXPECT_EQ(again.status, 200);

    // After a release the next request configures a new handle and works as before.
    client.ReleaseHandle();
    const std::string third = std::string("a\0b", 3);
    EXPECT_EQ(client.Post(server.Url("/echo"), third, HEADER).body, "echo:" + third);
}

TEST(HttpClientTest, RefusedConnectionGivesStatusZeroQuickly) {
    // A port that was free a moment ago and has no listener now.
    int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(probe);

    HttpClient client;
    const std::string body = "{}";
    const auto start = std::chrono::steady_clock::now();
    const HttpResponse response = client.Post(
        "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/", body, HEADER);
    EXPECT_EQ(response.status, 0);
    EXPECT_EQ(response.body, "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
}

// Accepts one connection, keeps the raw request bytes and answers "ok".
std::string CaptureRawRequest(const std::string& body) {
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    ::listen(listener, 1);
    std::promise<std::string> captured;
    std::thread peer([&] {
        int connection = ::accept(listener, nullptr, nullptr);
        std::string request;
        char chunk[4096];
        for (;;) {
            const std::size_t end = request.find("\r\n\r\n");
            if (end != std::string::npos) {
                const std::size_t at = request.find("Content-Length: ");
                const std::size_t content =
                    at == std::string::npos ? 0 : std::stoul(request.substr(at + 16));
                if (request.size() >= end + 4 + content) {
                    break;
                }
            }
            const ssize_t got = ::recv(connection, chunk, sizeof chunk, 0);
            if (got <= 0) {
                break;
            }
            request.append(chunk, static_cast<std::size_t>(got));
        }
        const char answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
        ::send(connection, answer, sizeof answer - 1, 0);
        ::close(connection);
        captured.set_value(request);
    });
    HttpClient client;
    const HttpResponse response = client.Post(
        "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/api/x", body, HEADER);
    peer.join();
    ::close(listener);
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, "ok");
    return captured.get_future().get();
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

TEST(HttpClientTest, SendsExactlyTheOneHeaderLineAndTheBody) {
    const std::string request = CaptureRawRequest("{\"k\":1}");
    EXPECT_EQ(request.rfind("POST /api/x HTTP/1.1\r\n", 0), 0u) << request;
    EXPECT_EQ(Count(request, "\r\nContent-Type:application/json;charset=UTF-8\r\n"), 1u);
    EXPECT_EQ(Count(request, "Content-Type"), 1u) << request;
    EXPECT_EQ(Count(request, "User-Agent"), 0u) << request;
    EXPECT_NE(request.find("Content-Length: 7\r\n"), std::string::npos);
    EXPECT_EQ(request.substr(request.size() - 7), "{\"k\":1}");
}

TEST(HttpClientTest, SendsEveryHeaderLineAndPicksOneReplyHeaderOfTheLastResponse) {
    // An interim 100 answer first: its headers do not count. The picked name compares in any
    // case, every copy comes back, the blanks around the values go.
    test::FaultServer server;
    ASSERT_TRUE(server.start([](const test::FaultRequest&, int fd) {
        test::FaultServer::send(fd, "HTTP/1.1 100 Continue\r\nX-Pick: early\r\n\r\n"
                                    "HTTP/1.1 200 OK\r\nx-pick:  one \r\nOther: no\r\n"
                                    "X-PICK:\ttwo\r\nContent-Length: 2\r\n\r\nok");
    }));
    HttpClient client;
    const HttpResponse response =
        client.Post(server.url("/api/x"), "{}", {HEADER, "X-Extra: 1"}, "X-Pick");
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, "ok");
    EXPECT_EQ(response.picked_header_values, (std::vector<std::string>{"one", "two"}));
    const std::vector<test::FaultRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].headers.at("x-extra"), "1");
    EXPECT_EQ(requests[0].headers.at("content-type"), "application/json;charset=UTF-8");

    // The one-line POST picks nothing.
    EXPECT_TRUE(client.Post(server.url("/api/x"), "{}", HEADER).picked_header_values.empty());
}

TEST(HttpClientTest, EmptyBodyIsAPostOfLengthZero) {
    const std::string request = CaptureRawRequest("");
    EXPECT_EQ(request.rfind("POST ", 0), 0u);
    EXPECT_NE(request.find("Content-Length: 0\r\n"), std::string::npos) << request;
}

TEST(HttpClientTest, ReleaseFromAnotherThreadEndsASlowRequestAndTheNextWorks) {
    LoopbackServer server;
    HttpClient client;
    const std::string body = "{}";
    auto running = std::async(std::launch::async, [&] {
        const auto start = std::chrono::steady_clock::now();
        HttpResponse response = client.Post(server.Url("/slow"), body, HEADER);
        return std::make_pair(response, std::chrono::steady_clock::now() - start);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const auto released = std::chrono::steady_clock::now();
    client.ReleaseHandle();
    const auto [response, took] = running.get();
    const auto after_release = std::chrono::steady_clock::now() - released;
    EXPECT_EQ(response.status, 0);
    // The whole answer would take ten seconds.
    EXPECT_LT(after_release, std::chrono::milliseconds(1500));
    EXPECT_LT(took, std::chrono::seconds(5));

    EXPECT_EQ(client.Post(server.Url("/echo"), body, HEADER).body, "echo:{}");
}

TEST(HttpClientTest, ReleaseBeforeAnyRequestIsHarmless) {
    LoopbackServer server;
    HttpClient client;
    client.ReleaseHandle();
    client.ReleaseHandle();
    const std::string body = "x";
    EXPECT_EQ(client.Post(server.Url("/echo"), body, HEADER).status, 200);
}

// A trickle that satisfies the low-speed rule still ends by the deadline, an overlong reply
// by the body limit; a closed client sends nothing until it is opened again.
TEST(HttpClientTest, DeadlineAndBodyLimitEndAPostAndAClosedClientRefusesPosts) {
    LoopbackServer server;
    HttpClient client;
    client.SetDeadline(std::chrono::milliseconds(700));
    const std::string body = "{}";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.Post(server.Url("/slow"), body, HEADER).status, 0);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(600));
    EXPECT_LT(took, std::chrono::seconds(3)) << "the whole answer takes ten seconds";

    // A reply over the limit fails too.
    client.SetBodyLimit(1000);
    const std::string long_body(2000, 'x');
    EXPECT_EQ(client.Post(server.Url("/echo"), long_body, HEADER).status, 0);
    EXPECT_EQ(client.Post(server.Url("/echo"), body, HEADER).body, "echo:{}");

    client.Close();
    EXPECT_EQ(client.Post(server.Url("/counted"), body, HEADER).status, 0);
    EXPECT_EQ(server.counted, 0);
    client.Reopen();
    EXPECT_EQ(client.Post(server.Url("/counted"), body, HEADER).body, "1");
    EXPECT_EQ(server.counted, 1);
}

} // namespace
} // namespace inkwarden

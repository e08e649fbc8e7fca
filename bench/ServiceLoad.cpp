// bench_service_load: load for the demo release service on loopback.
//   bench_service_load --port P [--clients 64] [--seconds 10]
//       that many keep-alive clients post installer events as fast as answers come
//   bench_service_load --port P --slow 50 [--seconds 10]
//       that many clients send one header line per second, while one normal client asks
//       for GET /api/events?limit=1 every 100 ms
// Prints one JSON object with the counts and the latencies (milliseconds).
#include "telemetry/EventCodes.h"
#include "telemetry/EventReporter.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <httplib.h>
#include <mutex>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Settings {
    int port = 0;
    int clients = 64;
    int slow = 0;
    double seconds = 10;
};

struct Counts {
    std::atomic<long> sent{0};
    std::atomic<long> accepted{0}; // 200 with the body "1"
    std::atomic<long> refused{0};  // any other answer
    std::atomic<long> errors{0};   // no answer at all
};

nlohmann::json Latencies(std::vector<double> ms) {
    if (ms.empty()) {
        return {{"p50_ms", nullptr}, {"p99_ms", nullptr}, {"max_ms", nullptr}};
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[std::min(ms.size() - 1, size_t(q * ms.size()))]; };
    return {{"p50_ms", at(0.50)}, {"p99_ms", at(0.99)}, {"max_ms", ms.back()}};
}

double MillisecondsSince(Clock::time_point started) {
    return std::chrono::duration<double, std::milli>(Clock::now() - started).count();
}

// One client: posts events back to back until the end, one keep-alive connection at a time.
void PostEvents(const Settings& settings, const std::string& body, Clock::time_point end,
                Counts& counts, std::vector<double>& latencies) {
    httplib::Client client("127.0.0.1", settings.port);
    client.set_keep_alive(true);
    client.set_tcp_nodelay(true); // as libcurl does for the installer
    client.set_read_timeout(10, 0);
    while (Clock::now() < end) {
        const auto started = Clock::now();
        ++counts.sent;
        auto answer = client.Post("/api/clientevent", body, "application/json;charset=UTF-8");
        latencies.push_back(MillisecondsSince(started));
        if (!answer) {
            ++counts.errors;
        } else if (answer->status == 200 && answer->body == "1") {
            ++counts.accepted;
        } else {
            ++counts.refused;
        }
    }
}

// The installer's own event body, with this machine's identifier and a matching check.
std::string InstallerEventBody() {
    inkwarden::EventReporter reporter;
    reporter.Start();
    std::string body = reporter.BuildBody(inkwarden::event_code::PAGE_CONFIGURATION);
    reporter.Stop();
    return body;
}

nlohmann::json RunEventLoad(const Settings& settings) {
    const std::string body = InstallerEventBody();
    Counts counts;
    std::vector<std::vector<double>> latencies(static_cast<size_t>(settings.clients));
    const auto started = Clock::now();
    const auto end = started + std::chrono::duration<double>(settings.seconds);
    std::vector<std::thread> threads;
    for (int i = 0; i < settings.clients; ++i) {
        threads.emplace_back([&, i] {
            PostEvents(settings, body, std::chrono::time_point_cast<Clock::duration>(end), counts,
                       latencies[static_cast<size_t>(i)]);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const double elapsed = MillisecondsSince(started) / 1000;
    std::vector<double> all;
    for (const auto& one : latencies) {
        all.insert(all.end(), one.begin(), one.end());
    }
    nlohmann::json result = {{"clients", settings.clients},
                             {"seconds", elapsed},
                             {"sent", counts.sent.load()},
                             {"accepted", counts.accepted.load()},
                             {"refused", counts.refused.load()},
                             {"errors", counts.errors.load()},
                             {"accepted_per_second", counts.accepted.load() / elapsed}};
    result.update(Latencies(std::move(all)));
    return result;
}

int ConnectLoopback(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The slow clients: every second each sends one more header line; a connection that the
// server closed is counted and opened anew, so the pressure stays.
void TrickleHeaders(const Settings& settings, Clock::time_point end, std::atomic<long>& closed) {
    std::vector<int> sockets(static_cast<size_t>(settings.slow), -1);
    for (int line = 0; Clock::now() < end; ++line) {
        for (int& fd : sockets) {
            const std::string text = fd < 0 ? "GET /api/events HTTP/1.1\r\n"
                                            : "X-Slow-" + std::to_string(line) + ": 1\r\n";
            if (fd >= 0 && ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) <= 0) {
                ::close(fd);
                fd = -1;
                ++closed;
            }
            if (fd < 0) {
                fd = ConnectLoopback(settings.port);
                ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
            }
        }
        std::this_thread::sleep_for(1s);
    }
    for (int fd : sockets) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

// A fresh connection asks GET /api/events?limit=1 every 100 ms until end.
std::vector<double> MeasureNormalRequests(int port, Clock::time_point end, long& failed) {
    std::vector<double> latencies;
    while (Clock::now() < end) {
        httplib::Client client("127.0.0.1", port);
        client.set_read_timeout(10, 0);
        const auto started = Clock::now();
        auto answer = client.Get("/api/events?limit=1");
        latencies.push_back(MillisecondsSince(started));
        failed += !answer || answer->status != 200;
        std::this_thread::sleep_for(100ms);
    }
    return latencies;
}

// Normal requests alone for a few seconds (the reference), then with the slow clients.
nlohmann::json RunSlowClients(const Settings& settings) {
    constexpr auto REFERENCE = 3s;
    long reference_failed = 0;
    std::vector<double> reference =
        MeasureNormalRequests(settings.port, Clock::now() + REFERENCE, reference_failed);
    std::atomic<long> closed{0};
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(settings.seconds));
    std::thread trickle([&] { TrickleHeaders(settings, end, closed); });
    std::this_thread::sleep_for(1s); // the slow clients are connected
    long failed = 0;
    std::vector<double> latencies = MeasureNormalRequests(settings.port, end, failed);
    trickle.join();
    nlohmann::json result = {{"slow_clients", settings.slow},
                             {"seconds", settings.seconds},
                             {"normal_requests", latencies.size()},
                             {"normal_failed", failed},
                             {"slow_connections_closed_by_server", closed.load()},
                             {"reference_requests", reference.size()},
                             {"reference_failed", reference_failed},
                             {"reference", Latencies(std::move(reference))}};
    result.update(Latencies(std::move(latencies)));
    return result;
}

bool ParseArguments(int argc, char** argv, Settings& settings) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--port") {
            settings.port = std::atoi(value);
        } else if (name == "--clients") {
            settings.clients = std::atoi(value);
        } else if (name == "--slow") {
            settings.slow = std::atoi(value);
        } else if (name == "--seconds") {
            settings.seconds = std::atof(value);
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && settings.port > 0 && settings.clients > 0 && settings.seconds > 0;
}

} // namespace

int main(int argc, char** argv) {
    Settings settings;
    if (!ParseArguments(argc, argv, settings)) {
        std::fprintf(stderr, "usage: bench_service_load --port P [--clients N] [--slow N] "
                             "[--seconds S]\n");
        return 2;
    }
    const nlohmann::json result =
        settings.slow > 0 ? RunSlowClients(settings) : RunEventLoad(settings);
    std::printf("%s\n", result.dump().c_str());
    return 0;
}

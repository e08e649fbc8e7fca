// bench_event_spool: the installer's events against a service that is down half the time.
//   bench_event_spool --service PATH [--runs 20] [--events 10] [--period-ms 400]
// Installer runs one after another, each reporting its events 20 ms apart, while the demo
// service at PATH is started and stopped every period; at the end the service stays up and
// one more run (reporting nothing) sends what is left on disk. Prints one JSON object: events
// sent, rows stored, missing, duplicated and out of order.
#include "telemetry/EventReporter.h"
#include "telemetry/EventSpool.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <httplib.h>
#include <map>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using inkwarden::EventReporter;
using namespace std::chrono_literals;
constexpr int FIRST_CODE = 901100;

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

pid_t StartService(const std::string& program, int port, const std::string& data) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        const std::string port_text = std::to_string(port);
        ::execl(program.c_str(), program.c_str(), "--port", port_text.c_str(), "--data",
                data.c_str(), "--no-signing", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

void StopService(pid_t pid) {
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

bool Answers(int port) {
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(0, 200000);
    return static_cast<bool>(client.Get("/api/events?limit=1"));
}

} // namespace

int main(int argc, char** argv) {
    std::string program;
    int runs = 20;
    int events = 10;
    int period_ms = 400;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--service") {
            program = value;
        } else if (name == "--runs") {
            runs = std::atoi(value);
        } else if (name == "--events") {
            events = std::atoi(value);
        } else if (name == "--period-ms") {
            period_ms = std::atoi(value);
        }
    }
    if (program.empty()) {
        std::fprintf(stderr, "usage: bench_event_spool --service PATH [--runs N] [--events N] "
                             "[--period-ms MS]\n");
        return 2;
    }
    const auto work =
        std::filesystem::temp_directory_path() / ("iw-bench-spool-" + std::to_string(::getpid()));
    std::filesystem::create_directories(work);
    const std::string data = (work / "data").string();
    const std::string spool = (work / "spool").string();
    const int port = FreePort();
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/api/clientevent";

    // The service: up for one period, down for the next.
    std::atomic<bool> toggling{true};
    std::atomic<long> up_ms{0};
    std::atomic<long> down_ms{0};
    std::thread toggler([&] {
        while (toggling) {
            const pid_t pid = StartService(program, port, data);
            std::this_thread::sleep_for(std::chrono::milliseconds(period_ms));
            StopService(pid);
            up_ms += period_ms;
            std::this_thread::sleep_for(std::chrono::milliseconds(period_ms));
            down_ms += period_ms;
        }
    });
    for (int run = 0; run < runs; ++run) {
        EventReporter::Options options(url, true);
        options.spool_folder = spool;
        EventReporter reporter(options);
        reporter.machine_id = "run-" + std::to_string(run);
        reporter.Start();
        for (int i = 0; i < events; ++i) {
            reporter.Report(FIRST_CODE + i);
            std::this_thread::sleep_for(20ms);
        }
        reporter.Stop();
    }
    toggling = false;
    toggler.join();

    // The service stays up; one more run sends what is left.
    const pid_t pid = StartService(program, port, data);
    while (!Answers(port)) {
        std::this_thread::sleep_for(50ms);
    }
    const std::size_t left_before = inkwarden::EventSpool(spool).Pending().size();
    {
        EventReporter::Options options(url, true);
        options.spool_folder = spool;
        EventReporter reporter(options);
        reporter.Start();
        for (int i = 0; i < 400 && !inkwarden::EventSpool(spool).Pending().empty(); ++i) {
            std::this_thread::sleep_for(25ms);
        }
        reporter.Stop();
    }

    // Every stored row, page by page.
    std::map<std::string, std::vector<int>> codes_by_run;
    long rows = 0;
    httplib::Client client("127.0.0.1", port);
    for (long long since = 0;;) {
        auto page = client.Get("/api/events?since=" + std::to_string(since));
        const auto list = nlohmann::json::parse(page ? page->body : "", nullptr, false);
        if (!list.is_array() || list.empty()) {
            break;
        }
        for (const auto& row : list) {
            since = row["id"].get<long long>();
            codes_by_run[row["machine_id"].get<std::string>()].push_back(row["code"].get<int>());
            ++rows;
        }
    }
    StopService(pid);
    long missing = 0;
    long duplicated = 0;
    long out_of_order = 0;
    for (int run = 0; run < runs; ++run) {
        const std::vector<int>& codes = codes_by_run["run-" + std::to_string(run)];
        std::map<int, int> seen;
        for (std::size_t i = 0; i < codes.size(); ++i) {
            duplicated += seen[codes[i]]++ > 0;
            out_of_order += i > 0 && codes[i] < codes[i - 1];
        }
        for (int i = 0; i < events; ++i) {
            missing += seen.count(FIRST_CODE + i) == 0;
        }
    }
    std::filesystem::remove_all(work);
    const nlohmann::json result = {{"runs", runs},
                                   {"sent", runs * events},
                                   {"rows", rows},
                                   {"missing", missing},
                                   {"duplicated", duplicated},
                                   {"out_of_order", out_of_order},
                                   {"left_on_disk_before_last_run", left_before},
                                   {"service_up_ms", up_ms.load()},
                                   {"service_down_ms", down_ms.load()}};
    std::printf("%s\n", result.dump().c_str());
    return missing == 0 && duplicated == 0 ? 0 : 1;
}

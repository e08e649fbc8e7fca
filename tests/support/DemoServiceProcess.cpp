#include "tests/support/DemoServiceProcess.h"

#include "BuildConfig.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace inkwarden::test {

std::string BuiltProgram(const std::string& name) {
    return std::string(build_config::BINARY_DIR) + "/bin/" + name;
}

DemoServiceProcess::DemoServiceProcess(std::vector<std::string> extra_args) {
    // The log goes to a file, so a chatty service never blocks on a full pipe.
    char log_path[] = "/tmp/inkwarden-demo-service-XXXXXX";
    const int log_fd = ::mkostemp(log_path, O_CLOEXEC);
    if (log_fd < 0) {
        return;
    }
    ::unlink(log_path);
    std::vector<std::string> args = {BuiltProgram("inkwarden-demo-service"), "--port", "0"};
    if (std::find(extra_args.begin(), extra_args.end(), "--data") == extra_args.end()) {
        char data_path[] = "/tmp/inkwarden-demo-data-XXXXXX";
        if (::mkdtemp(data_path) != nullptr) {
            own_data_dir_ = data_path;
            args.insert(args.end(), {"--data", own_data_dir_});
        }
    }
    args.insert(args.end(), extra_args.begin(), extra_args.end());
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, log_fd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, log_fd, STDERR_FILENO);
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    out_fd_ = log_fd;
    if (rc != 0) {
        pid_ = -1;
        return;
    }

    // The service announces its address on its first line.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    const std::string marker = "listening on http://127.0.0.1:";
    while (std::chrono::steady_clock::now() < deadline) {
        readAvailable(20);
        const size_t at = output_.find(marker);
        if (at != std::string::npos && output_.find('\n', at) != std::string::npos) {
            port_ = std::stoi(output_.substr(at + marker.size()));
            return;
        }
    }
}

DemoServiceProcess::~DemoServiceProcess() {
    stop();
    if (out_fd_ >= 0) {
        ::close(out_fd_);
    }
    if (!own_data_dir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(own_data_dir_, ignored);
    }
}

void DemoServiceProcess::readAvailable(int wait_ms) {
    if (out_fd_ < 0) {
        return;
    }
    if (wait_ms > 0) {
        ::usleep(static_cast<useconds_t>(wait_ms) * 1000);
    }
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::pread(out_fd_, buffer, sizeof(buffer), static_cast<off_t>(output_.size()))) > 0) {
        output_.append(buffer, static_cast<size_t>(n));
    }
}

std::string DemoServiceProcess::output() {
    readAvailable(50);
    return output_;
}

std::vector<int> DemoServiceProcess::eventCodes(std::size_t expected) const {
    // Generous: under a sanitizer on a busy machine the reporter can lag seconds behind.
    constexpr int ATTEMPTS = 300;
    constexpr std::chrono::milliseconds PAUSE{30};
    nlohmann::json list = nlohmann::json::array();
    for (int i = 0; i < ATTEMPTS; ++i) {
        httplib::Client client("127.0.0.1", port_);
        auto result = client.Get("/api/events");
        list = result ? nlohmann::json::parse(result->body, nullptr, false) : nlohmann::json();
        if (!list.is_array()) {
            list = nlohmann::json::array();
        }
        if (list.size() >= expected) {
            break;
        }
        std::this_thread::sleep_for(PAUSE);
    }
    std::vector<int> codes;
    for (const auto& event : list) {
        codes.push_back(event["code"]);
    }
    return codes;
}

std::vector<std::string> DemoServiceProcess::eventPages() const {
    std::vector<std::string> events;
    httplib::Client client("127.0.0.1", port_);
    for (long long since = 0;;) {
        auto result = client.Get("/api/events?since=" + std::to_string(since));
        const nlohmann::json page =
            result ? nlohmann::json::parse(result->body, nullptr, false) : nlohmann::json();
        if (!page.is_array() || page.empty()) {
            return events;
        }
        const long long before = since;
        for (const auto& event : page) {
            events.push_back(event.dump());
            since = std::max(since, event.value("id", since));
        }
        if (since == before) {
            return events; // a page without row numbers: no way on
        }
    }
}

int DemoServiceProcess::stop() {
    if (pid_ <= 0) {
        return -1;
    }
    // A service that does not end within the grace time is killed, so that a hang shows as
    // a failed test (the status says SIGKILL) rather than a stuck one.
    constexpr auto GRACE = std::chrono::seconds(10);
    ::kill(pid_, SIGTERM);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + GRACE;
    pid_t reaped = 0;
    while ((reaped = ::waitpid(pid_, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (reaped == 0) {
        ::kill(pid_, SIGKILL);
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    pid_ = -1;
    readAvailable(0);
    return status;
}

} // namespace inkwarden::test

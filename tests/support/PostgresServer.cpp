#include "tests/support/PostgresServer.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace inkwarden::test {
namespace {

constexpr const char* SERVER_BIN = "/usr/lib/postgresql/15/bin";
constexpr const char* SUPERUSER = "inkwarden";
constexpr const char* PORT = "5432";

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

PostgresServer::PostgresServer() : bin_(SERVER_BIN) {
    if (!std::filesystem::exists(bin_ + "/initdb")) {
        why_ = "PostgreSQL is not installed (" + bin_ +
               "/initdb is missing; scripts/setup "
               "installs the postgresql package)";
        return;
    }
    if (::geteuid() == 0) {
        const passwd* user = ::getpwnam("postgres");
        if (user == nullptr) {
            why_ = "running as root and there is no \"postgres\" user to run the server";
            return;
        }
        as_postgres_ = true;
        if (::chown(dir_.path().c_str(), user->pw_uid, user->pw_gid) != 0) {
            why_ = "cannot hand " + dir_.path().string() + " to the postgres user";
            return;
        }
    }
    running_ = start();
}

PostgresServer::~PostgresServer() {
    if (running_) {
        run({bin_ + "/pg_ctl", "-D", dir_.file("data"), "-m", "immediate", "-w", "stop"},
            dir_.file("stop.log"));
    }
}

int PostgresServer::run(const std::vector<std::string>& command, const std::string& output) const {
    std::vector<std::string> args;
    if (as_postgres_) {
        args = {"/usr/sbin/runuser", "-u", "postgres", "--"};
    }
    args.insert(args.end(), command.begin(), command.end());
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0666);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        return -1;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool PostgresServer::start() {
    const std::string data = dir_.file("data");
    if (run({bin_ + "/initdb", "-D", data, "-U", SUPERUSER, "-A", "trust", "-E", "UTF8",
             "--no-sync"},
            dir_.file("initdb.log")) != 0) {
        why_ = "initdb failed: " + ReadFile(dir_.file("initdb.log"));
        return false;
    }
    // Only the socket in our folder; durability does not matter for a throw-away cluster.
    const std::string settings =
        "-c listen_addresses= -c unix_socket_directories=" + dir_.path().string() +
        " -c port=" + PORT + " -c fsync=off";
    if (run({bin_ + "/pg_ctl", "-D", data, "-l", dir_.file("server.log"), "-w", "-t", "60", "-o",
             settings, "start"},
            dir_.file("pg_ctl.log")) != 0) {
        why_ = "the server did not start: " + ReadFile(dir_.file("pg_ctl.log")) +
               ReadFile(dir_.file("server.log"));
        return false;
    }
    return true;
}

std::string PostgresServer::uri() const {
    return "postgresql:///postgres?host=" + dir_.path().string() + "&port=" + PORT +
           "&user=" + SUPERUSER;
}

std::string PostgresServer::query(const std::string& sql) const {
    const std::string output = dir_.file("query.out");
    run({bin_ + "/psql", "-X", "-A", "-t", "-q", "-d", uri(), "-c", sql}, output);
    std::string text = ReadFile(output);
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

} // namespace inkwarden::test

#include "tests/support/NginxServer.h"

#include "tests/support/FreePort.h"

#include <filesystem>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>

extern char** environ;

namespace inkwarden::test {

NginxServer::NginxServer(const std::string& location_directives) {
    std::filesystem::create_directories(dir_.path() / "html");
    std::filesystem::create_directories(dir_.path() / "tmp");
    // A port found free may be taken before nginx binds it: try a few.
    for (int attempt = 0; attempt < 5 && !running(); ++attempt) {
        Start(location_directives);
    }
}

NginxServer::~NginxServer() {
    Stop();
}

bool NginxServer::Start(const std::string& location_directives) {
    port_ = FreePort::Find();
    const std::string root = dir_.path().string();
    std::ofstream conf(dir_.file("nginx.conf"), std::ios::trunc);
    conf << "daemon off;\n"
         << "master_process off;\n"
         << "worker_processes 1;\n"
         << "pid " << root << "/nginx.pid;\n"
         << "error_log " << root << "/error.log warn;\n"
         << "events { worker_connections 256; }\n"
         << "http {\n"
         << "  log_format ranges '$request_method $uri \"$http_range\" $status';\n"
         << "  access_log " << root << "/access.log ranges;\n";
    // Every temporary folder under ours, so that nginx needs nothing of the system's.
    for (const char* kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
        conf << "  " << kind << "_temp_path " << root << "/tmp/" << kind << ";\n";
    }
    conf << "  sendfile on;\n"
         << "  types { application/octet-stream bin; }\n"
         << "  default_type application/octet-stream;\n"
         << "  server {\n"
         << "    listen 127.0.0.1:" << port_ << ";\n"
         << "    root " << root << "/html;\n"
         << "    location / { " << location_directives << " }\n"
         << "  }\n"
         << "}\n";
    conf.close();

    const std::string conf_path = dir_.file("nginx.conf");
    const std::string error_path = dir_.file("error.log");
    const char* argv[] = {"/usr/sbin/nginx", "-p", root.c_str(),       "-c",
                          conf_path.c_str(), "-e", error_path.c_str(), nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
        return false;
    }
    pid_ = pid;
    if (!FreePort::WaitListening(port_, 5000)) {
        Stop();
        return false;
    }
    return true;
}

void NginxServer::Stop() {
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

std::string NginxServer::file(const std::string& name) const {
    return (dir_.path() / "html" / name).string();
}

std::string NginxServer::url(const std::string& name) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + name;
}

std::vector<std::string> NginxServer::accessLog() const {
    std::ifstream in(dir_.file("access.log"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> NginxServer::rangesRequested(const std::string& name) const {
    const std::string prefix = "GET /" + name + " \"";
    std::vector<std::string> ranges;
    for (const std::string& line : accessLog()) {
        if (line.rfind(prefix, 0) == 0) {
            const size_t close = line.find('"', prefix.size());
            ranges.push_back(line.substr(prefix.size(), close - prefix.size()));
        }
    }
    return ranges;
}

} // namespace inkwarden::test

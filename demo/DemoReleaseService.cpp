#include "demo/DemoReleaseService.h"

#include "demo/ReleaseSigner.h"
#include "demo/ServedPackage.h"
#include "net/HttpResponse.h"
#include "release/LatestVersionQuery.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace inkwarden::demo {
namespace {

const char* LICENCE_PAGE = R"(<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8"><title>墨守精灵许可协议</title></head>
<body style="font-family: sans-serif; max-width: 40em; margin: 2em auto; line-height: 1.6">
<h1>墨守精灵软件许可协议</h1>
<p>这是演示服务提供的许可协议示例页面。安装并使用墨守精灵(Inkwarden)即表示您同意本协议。</p>
<p>本软件按"现状"提供, 不附带任何明示或暗示的担保。</p>
</body></html>
)";

const char* CONTACT_PAGE = R"(<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8"><title>联系客服</title></head>
<body style="font-family: sans-serif; max-width: 40em; margin: 2em auto; line-height: 1.6">
<h1>联系客服</h1>
<p>安装多次失败? 这是演示服务提供的联系页面示例。</p>
<p>请检查网络连接与磁盘空间后重新安装。</p>
</body></html>
)";

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

constexpr size_t SEND_CHUNK = 16384;
constexpr std::int64_t MICROSECONDS_PER_SECOND = 1000000;

const char* const RELEASE_FIELDS[] = {"Soft_name",    "Version_number",      "Version_description",
                                      "Download_url", "Download_silent_url", "Pubdate"};

// The bytes of the file at path, piece by piece; with throttle (bytes per second) above 0
// each connection keeps that average rate.
httplib::ContentProvider FileProvider(const std::string& path, std::int64_t throttle) {
    auto file = std::make_shared<std::ifstream>(path, std::ios::binary);
    auto started = std::make_shared<std::chrono::steady_clock::time_point>();
    auto sent = std::make_shared<std::int64_t>(-1);
    return [file, throttle, started, sent](size_t offset, size_t length, httplib::DataSink& sink) {
        if (*sent < 0) {
            *started = std::chrono::steady_clock::now();
            *sent = 0;
        }
        char buffer[SEND_CHUNK];
        const size_t chunk = std::min(length, sizeof(buffer));
        file->clear();
        file->seekg(static_cast<std::streamoff>(offset));
        file->read(buffer, static_cast<std::streamsize>(chunk));
        const auto got = static_cast<size_t>(file->gcount());
        if (got == 0 || !sink.write(buffer, got)) {
            return false;
        }
        *sent += static_cast<std::int64_t>(got);
        if (throttle > 0) {
            const auto due =
                *started + std::chrono::microseconds(*sent * MICROSECONDS_PER_SECOND / throttle);
            std::this_thread::sleep_until(due);
        }
        return true;
    };
}

bool SafePackageName(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
}

} // namespace

DemoReleaseService::DemoReleaseService(Options options)
    : options_(std::move(options)), server_(std::make_unique<httplib::Server>()) {}

DemoReleaseService::~DemoReleaseService() = default;

std::string DemoReleaseService::address() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

bool DemoReleaseService::bind(int port, std::string& error) {
    if (!bindPort(port, error) || !loadRelease(error)) {
        return false;
    }
    installRoutes();
    return true;
}

bool DemoReleaseService::bindPort(int port, std::string& error) {
    // Without SO_REUSEPORT, so that a second service on a taken port fails instead of
    // sharing it silently.
    server_->set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    if (port == 0) {
        port_ = server_->bind_to_any_port("127.0.0.1");
        if (port_ <= 0) {
            error = "cannot bind any port on 127.0.0.1";
            return false;
        }
        return true;
    }
    if (!server_->bind_to_port("127.0.0.1", port)) {
        error = "port " + std::to_string(port) + " on 127.0.0.1 is in use or not allowed";
        return false;
    }
    port_ = port;
    return true;
}

bool DemoReleaseService::loadRelease(std::string& error) {
    if (options_.release_file.empty()) {
        return true;
    }
    std::ifstream in(options_.release_file, std::ios::binary);
    if (!in) {
        error = "cannot read the release file " + options_.release_file;
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    // "{service}" in the URLs becomes our address, which is known once the port is bound.
    const nlohmann::json release =
        nlohmann::json::parse(ReplaceAll(text.str(), "{service}", address()), nullptr, false);
    bool complete = release.is_object();
    for (const char* field : RELEASE_FIELDS) {
        complete = complete && release.contains(field) && release[field].is_string();
    }
    if (!complete) {
        error = "the release file " + options_.release_file +
                " must be a JSON object with the six string fields Soft_name, "
                "Version_number, Version_description, Download_url, Download_silent_url, "
                "Pubdate";
        return false;
    }
    // The release file has the shape of the reply's "data".
    release_ = ParseLatestVersion(nlohmann::json{{"data", release}}.dump());
    return true;
}

void DemoReleaseService::run() {
    log("inkwarden-demo-service: listening on " + address());
    server_->listen_after_bind();
}

void DemoReleaseService::stop() {
    server_->stop();
}

void DemoReleaseService::log(const std::string& line) {
    std::lock_guard<std::mutex> lock(log_lock_);
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
}

void DemoReleaseService::installRoutes() {
    httplib::Server& server = *server_;
    server.Post(LATEST_VERSION_PATH, [this](const httplib::Request& req, httplib::Response& res) {
        onLatestVersionQuery(req, res);
    });
    server.Post(EVENT_PATH,
                [this](const httplib::Request& req, httplib::Response& res) { onEvent(req, res); });
    server.Get("/api/events",
               [this](const httplib::Request&, httplib::Response& res) { onEventList(res); });
    // HEAD is answered by the GET handler without a body.
    server.Get("/packages/(.+)", [this](const httplib::Request& req, httplib::Response& res) {
        onPackage(req, res);
    });
    server.Get("/printer_license_chs.htm", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(LICENCE_PAGE, "text/html; charset=utf-8");
    });
    server.Get("/contact-us.html", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(CONTACT_PAGE, "text/html; charset=utf-8");
    });
}

void DemoReleaseService::onLatestVersionQuery(const httplib::Request& req, httplib::Response& res) {
    LatestVersionRequest request;
    std::string error;
    if (!DecodeLatestVersionRequest(req.body, request, error)) {
        log("query rejected (400): " + error);
        res.status = HTTP_BAD_REQUEST;
        res.set_content(error + "\n", "text/plain");
        return;
    }
    const std::string reply = EncodeLatestVersionReply(
        release_, ServedPackageFields(release_, address(), options_.packages_dir));
    const std::string signature =
        SignatureFor(options_.signer.get(), req.get_header_value(NONCE_HEADER), req.body, reply);
    if (!signature.empty()) {
        res.set_header(SIGNATURE_HEADER, signature);
    }
    log("query: s=" + request.s + " v=" + request.v + " a=" + std::to_string(request.a) +
        " u=" + std::to_string(request.u) + " p=" + request.p + " -> " + release_.Version_number +
        (signature.empty() ? " (unsigned)" : " (signed)"));
    res.set_content(reply, "application/json");
}

void DemoReleaseService::onEvent(const httplib::Request& req, httplib::Response& res) {
    ReceivedEvent event;
    std::string error;
    if (!DecodeEvent(req.body, event, error)) {
        log("event rejected: " + error);
        res.set_content("0", "text/plain");
        return;
    }
    const char* meaning = EventMeaning(event.code);
    log("event " + std::to_string(event.code) + " (" +
        (*meaning != '\0' ? meaning : "unknown code") + ") p=" + event.machine_id + " k " +
        (event.check_matches ? "matches" : "does not match"));
    {
        std::lock_guard<std::mutex> lock(events_lock_);
        events_.push_back(event);
    }
    res.set_content(event.check_matches ? "1" : "0", "text/plain");
}

void DemoReleaseService::onEventList(httplib::Response& res) {
    nlohmann::json list = nlohmann::json::array();
    std::lock_guard<std::mutex> lock(events_lock_);
    for (const ReceivedEvent& event : events_) {
        list.push_back({{"code", event.code},
                        {"app_id", event.app_id},
                        {"union_id", event.union_id},
                        {"machine_id", event.machine_id},
                        {"version", event.client_version},
                        {"k", event.check},
                        {"k_matches", event.check_matches}});
    }
    res.set_content(list.dump(), "application/json");
}

void DemoReleaseService::onPackage(const httplib::Request& req, httplib::Response& res) {
    const std::string name = req.matches[1];
    if (!SafePackageName(name) || options_.packages_dir.empty()) {
        res.status = HTTP_NOT_FOUND;
        return;
    }
    if (package_requests_.fetch_add(1) < options_.fail_downloads) {
        log(req.method + " /packages/" + name + " -> 503 (--fail-downloads)");
        res.status = HTTP_UNAVAILABLE;
        return;
    }
    const std::string path = options_.packages_dir + "/" + name;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        log(req.method + " /packages/" + name + " -> 404");
        res.status = HTTP_NOT_FOUND;
        return;
    }
    log(req.method + " /packages/" + name +
        (req.has_header("Range") ? " Range: " + req.get_header_value("Range") : ""));
    res.set_header("Accept-Ranges", "bytes");
    res.set_content_provider(static_cast<size_t>(info.st_size), "application/octet-stream",
                             FileProvider(path, options_.throttle));
}

} // namespace inkwarden::demo

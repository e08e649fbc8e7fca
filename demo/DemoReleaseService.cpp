#include "demo/DemoReleaseService.h"

#include "demo/ByteRanges.h"
#include "demo/GuardedHttpServer.h"
#include "demo/LogField.h"
#include "demo/PackageBody.h"
#include "demo/ReleaseSigner.h"
#include "net/HttpResponse.h"
#include "release/LatestVersionQuery.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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

constexpr std::int32_t HTTP_PARTIAL_CONTENT = 206;
constexpr std::int32_t HTTP_RANGE_NOT_SATISFIABLE = 416;
constexpr std::int32_t HTTP_SERVER_ERROR = 500;

constexpr size_t SEND_CHUNK = 16384;
constexpr std::int64_t MICROSECONDS_PER_SECOND = 1000000;
constexpr std::size_t DEFAULT_EVENT_PAGE = 1000;
constexpr std::size_t MAX_EVENT_PAGE = 10000;
constexpr const char* PACKAGE_TYPE = "application/octet-stream";

const char* const RELEASE_FIELDS[] = {"Soft_name",    "Version_number",      "Version_description",
                                      "Download_url", "Download_silent_url", "Pubdate"};

// A package file opened once per answer; the descriptor lives as long as its provider.
struct OpenFile {
    int fd = -1;
    ~OpenFile() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

// The bytes of body, piece by piece; with throttle (bytes per second) above 0 each connection
// keeps that average rate.
httplib::ContentProvider BodyProvider(std::shared_ptr<OpenFile> file, PackageBody body,
                                      std::int64_t throttle) {
    auto started = std::make_shared<std::chrono::steady_clock::time_point>();
    auto sent = std::make_shared<std::int64_t>(-1);
    return [file, body = std::move(body), throttle, started, sent](size_t offset, size_t length,
                                                                   httplib::DataSink& sink) {
        if (*sent < 0) {
            *started = std::chrono::steady_clock::now();
            *sent = 0;
        }
        char buffer[SEND_CHUNK];
        const size_t got = body.read(file->fd, offset, buffer, std::min(length, sizeof(buffer)));
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

// A plain file name: no path separators, no control characters (a NUL would cut the name
// short when the file is opened), and no hidden or relative names.
bool SafePackageName(const std::string& name) {
    if (name.empty() || name.front() == '.') {
        return false;
    }
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return c == '/' || c == '\\' || byte < 0x20 || byte == 0x7f;
    });
}

std::string MultipartBoundary() {
    std::random_device random;
    char text[32];
    std::snprintf(text, sizeof(text), "inkwarden-%08x%08x", random(), random());
    return text;
}

// The validators of a package file as it lies on disk, so that a client can tell on its next
// attempt whether the part it already has belongs to the same file.
struct PackageValidators {
    std::string etag;          // strong: changes with the size and the modification time
    std::string last_modified; // HTTP date
};

PackageValidators ValidatorsOf(const struct stat& info) {
    PackageValidators validators;
    char etag[64];
    std::snprintf(etag, sizeof(etag), "\"%llx-%lx-%llx\"",
                  static_cast<unsigned long long>(info.st_mtim.tv_sec),
                  static_cast<long>(info.st_mtim.tv_nsec),
                  static_cast<unsigned long long>(info.st_size));
    validators.etag = etag;
    std::tm utc{};
    char date[64];
    if (::gmtime_r(&info.st_mtim.tv_sec, &utc) != nullptr &&
        std::strftime(date, sizeof(date), "%a, %d %b %Y %H:%M:%S GMT", &utc) > 0) {
        validators.last_modified = date;
    }
    return validators;
}

// A range with If-Range counts only while the client's copy is of this very file: the strong
// entity tag, or the exact date (a date alone is weaker, but the client asked with it).
bool RangeConditionHolds(const httplib::Request& req, const PackageValidators& validators) {
    if (!req.has_header("If-Range")) {
        return true;
    }
    const std::string condition = req.get_header_value("If-Range");
    return condition == validators.etag ||
           (!validators.last_modified.empty() && condition == validators.last_modified);
}

// The answer to a package request for a file of length bytes: status, headers and body.
void AnswerPackage(const httplib::Request& req, std::shared_ptr<OpenFile> file,
                   const struct stat& info, std::int64_t throttle, httplib::Response& res) {
    const auto length = static_cast<std::uint64_t>(info.st_size);
    const PackageValidators validators = ValidatorsOf(info);
    res.set_header("Accept-Ranges", "bytes");
    res.set_header("ETag", validators.etag);
    if (!validators.last_modified.empty()) {
        res.set_header("Last-Modified", validators.last_modified);
    }
    RangeAnswer answer;
    // A range on a condition that fails asks for the whole file.
    if (req.has_header(CLIENT_RANGE_HEADER) && RangeConditionHolds(req, validators)) {
        answer = EvaluateRangeHeader(req.get_header_value(CLIENT_RANGE_HEADER), length);
    }
    PackageBody body = PackageBody::FileSpan(0, length);
    std::string type = PACKAGE_TYPE;
    switch (answer.decision) {
    case RangeDecision::UNSATISFIABLE:
        res.status = HTTP_RANGE_NOT_SATISFIABLE;
        res.set_header("Content-Range", UnsatisfiedRangeText(length));
        return;
    case RangeDecision::PARTIAL:
        res.status = HTTP_PARTIAL_CONTENT;
        if (answer.ranges.size() == 1) {
            const ByteRange& range = answer.ranges.front();
            res.set_header("Content-Range", ContentRangeText(range, length));
            body = PackageBody::FileSpan(range.first, range.size());
        } else {
            const std::string boundary = MultipartBoundary();
            body = PackageBody::Multipart(answer.ranges, length, PACKAGE_TYPE, boundary);
            type = "multipart/byteranges; boundary=" + boundary;
        }
        break;
    case RangeDecision::WHOLE:
        res.status = HTTP_OK;
        break;
    }
    if (body.size() == 0) {
        res.set_content("", type);
        return;
    }
    const auto size = static_cast<size_t>(body.size());
    res.set_content_provider(size, type, BodyProvider(std::move(file), std::move(body), throttle));
}

std::int64_t NowMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// "2026-12-08T06:30:00.123Z".
std::string IsoTime(std::int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[40];
    const size_t n = std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + n, sizeof(text) - n, ".%03dZ", static_cast<int>(ms % 1000));
    return text;
}

nlohmann::json EventJson(const StoredEvent& row) {
    const ReceivedEvent& event = row.event;
    return {{"id", row.id},
            {"received", IsoTime(row.received_ms)},
            {"code", event.code},
            {"meaning", EventMeaning(event.code)},
            {"app_id", event.app_id},
            {"union_id", event.union_id},
            {"machine_id", event.machine_id},
            {"version", event.client_version},
            {"k", event.check},
            {"k_matches", event.check_matches}};
}

// A query parameter that must be a whole number from low to high; fallback when absent.
bool NumberParam(const httplib::Request& req, const char* name, std::int64_t low, std::int64_t high,
                 std::int64_t fallback, std::int64_t& value) {
    if (!req.has_param(name)) {
        value = fallback;
        return true;
    }
    const std::string text = req.get_param_value(name);
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && stop == end && value >= low && value <= high;
}

GuardedHttpServer::Limits ServerLimits(const DemoReleaseService::Options& options) {
    GuardedHttpServer::Limits limits;
    limits.workers = options.workers;
    limits.request.request_deadline = options.request_deadline;
    return limits;
}

} // namespace

std::string DefaultDataFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && *state == '/') {
        return std::string(state) + "/inkwarden-demo-service";
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.local/state/inkwarden-demo-service";
}

DemoReleaseService::DemoReleaseService(Options options)
    : options_(std::move(options)),
      server_(std::make_unique<GuardedHttpServer>(ServerLimits(options_))) {}

DemoReleaseService::~DemoReleaseService() = default;

std::string DemoReleaseService::address() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

bool DemoReleaseService::bind(int port, std::string& error) {
    store_ = IEventStore::Open(options_.events, options_.data_dir, error);
    if (!store_ || !bindPort(port, error) || !loadRelease(error)) {
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
        server_->widenBacklog();
        return true;
    }
    if (!server_->bind_to_port("127.0.0.1", port)) {
        error = "port " + std::to_string(port) + " on 127.0.0.1 is in use or not allowed";
        return false;
    }
    port_ = port;
    server_->widenBacklog();
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
    // The store's line comes before "listening on", which callers wait for: once they see
    // it, everything the start says has been said.
    std::string error;
    if (store_->connect(error)) {
        log("inkwarden-demo-service: events in " + store_->describe());
    } else {
        log("inkwarden-demo-service: events cannot be stored until this is mended: " + error);
    }
    log("inkwarden-demo-service: listening on " + address());
    server_->listen_after_bind();
}

void DemoReleaseService::stop() {
    server_->halt();
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
    server.Get("/api/events", [this](const httplib::Request& req, httplib::Response& res) {
        onEventList(req, res);
    });
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
        release_, served_package_.fields(release_, address(), options_.packages_dir));
    const std::string signature =
        SignatureFor(options_.signer.get(), req.get_header_value(NONCE_HEADER), req.body, reply);
    if (!signature.empty()) {
        res.set_header(SIGNATURE_HEADER, signature);
        if (const std::string certificate = CertificateFor(options_.signer.get());
            !certificate.empty()) {
            res.set_header(SIGNING_KEY_HEADER, certificate);
        }
    }
    log("query: s=" + EscapeLogField(request.s) + " v=" + EscapeLogField(request.v) +
        " a=" + std::to_string(request.a) + " u=" + std::to_string(request.u) +
        " p=" + EscapeLogField(request.p) + " -> " + EscapeLogField(release_.Version_number) +
        (signature.empty() ? " (unsigned)" : " (signed)"));
    res.set_content(reply, "application/json");
}

void DemoReleaseService::onEvent(const httplib::Request& req, httplib::Response& res) {
    ReceivedEvent event;
    std::string error;
    if (!DecodeEvent(req.body, event, error)) {
        log("event rejected: " + EscapeLogField(error));
        res.set_content("0", "text/plain");
        return;
    }
    const char* meaning = EventMeaning(event.code);
    const std::string described = "event " + std::to_string(event.code) + " (" +
                                  (*meaning != '\0' ? meaning : "unknown code") +
                                  ") p=" + EscapeLogField(event.machine_id) + " k " +
                                  (event.check_matches ? "matches" : "does not match");
    std::int64_t id = 0;
    if (!store_->append(event, NowMilliseconds(), id, error)) {
        // Never a silent drop: the client hears that the event was not taken.
        log(described + " NOT STORED (500): " + EscapeLogField(error));
        res.status = HTTP_SERVER_ERROR;
        res.set_content("0", "text/plain");
        return;
    }
    log(described + " #" + std::to_string(id));
    res.set_content(event.check_matches ? "1" : "0", "text/plain");
}

void DemoReleaseService::onEventList(const httplib::Request& req, httplib::Response& res) {
    std::int64_t since = 0;
    std::int64_t limit = 0;
    if (!NumberParam(req, "since", 0, INT64_MAX, 0, since) ||
        !NumberParam(req, "limit", 1, MAX_EVENT_PAGE, DEFAULT_EVENT_PAGE, limit)) {
        res.status = HTTP_BAD_REQUEST;
        res.set_content("since must be a row number and limit a number from 1 to " +
                            std::to_string(MAX_EVENT_PAGE) + "\n",
                        "text/plain");
        return;
    }
    std::vector<StoredEvent> rows;
    std::string error;
    if (!store_->list(since, static_cast<std::size_t>(limit), rows, error)) {
        log("event list failed (500): " + EscapeLogField(error));
        res.status = HTTP_SERVER_ERROR;
        res.set_content(error + "\n", "text/plain");
        return;
    }
    nlohmann::json list = nlohmann::json::array();
    for (const StoredEvent& row : rows) {
        list.push_back(EventJson(row));
    }
    res.set_content(list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                    "application/json");
}

void DemoReleaseService::onPackage(const httplib::Request& req, httplib::Response& res) {
    const std::string name = req.matches[1];
    std::string request = req.method + " /packages/" + EscapeLogField(name);
    if (req.has_header(CLIENT_RANGE_HEADER)) {
        request += " Range: " + EscapeLogField(req.get_header_value(CLIENT_RANGE_HEADER));
    }
    if (!SafePackageName(name) || options_.packages_dir.empty()) {
        log(request + " -> 404 (not a package name)");
        res.status = HTTP_NOT_FOUND;
        return;
    }
    if (package_requests_.fetch_add(1) < options_.fail_downloads) {
        log(request + " -> 503 (--fail-downloads)");
        res.status = HTTP_UNAVAILABLE;
        return;
    }
    auto file = std::make_shared<OpenFile>();
    file->fd = ::open((options_.packages_dir + "/" + name).c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (file->fd < 0 || ::fstat(file->fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        log(request + " -> 404");
        res.status = HTTP_NOT_FOUND;
        return;
    }
    AnswerPackage(req, std::move(file), info, options_.throttle, res);
    log(request + " -> " + std::to_string(res.status));
}

} // namespace inkwarden::demo

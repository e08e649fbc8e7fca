#include "demo/DemoReleaseService.h"

#include "demo/ByteRanges.h"
#include "demo/EventWriter.h"
#include "demo/HttpServer.h"
#include "demo/LogField.h"
#include "demo/PackageBody.h"
#include "demo/PackageFolder.h"
#include "demo/ReleaseSigner.h"
#include "net/HttpResponse.h"
#include "release/LatestVersionQuery.h"
#include "release/PackageFields.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
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
constexpr const char* PACKAGES_PATH = "/packages/";
// When an event was not taken: by then the queue has moved or the store is known to be stuck.
constexpr const char* EVENT_RETRY_AFTER_SECONDS = "2";

const char* const RELEASE_FIELDS[] = {"Soft_name",    "Version_number",      "Version_description",
                                      "Download_url", "Download_silent_url", "Pubdate"};

// The release file's "Package_piece_size", 0 when it has none; false when it is no piece size.
bool ReadPieceSize(const nlohmann::json& release, std::int64_t& piece_size) {
    const auto field = release.find(PACKAGE_PIECE_SIZE_FIELD);
    if (field == release.end()) {
        return true;
    }
    piece_size = field->is_number_unsigned() ? field->get<std::int64_t>() : 0;
    return IsPieceSize(piece_size);
}

// The bytes of body, piece by piece, from the open file; with throttle (bytes per second)
// above 0 each connection keeps that average rate.
HttpResponse::BodyReader BodyReader(std::shared_ptr<UniqueFd> file, PackageBody body,
                                    std::int64_t throttle) {
    auto started = std::make_shared<std::chrono::steady_clock::time_point>();
    auto sent = std::make_shared<std::int64_t>(-1);
    return [file, body = std::move(body), throttle, started,
            sent](std::uint64_t offset, char* buffer, std::size_t capacity) -> ssize_t {
        if (*sent < 0) {
            *started = std::chrono::steady_clock::now();
            *sent = 0;
        }
        const size_t got = body.read(file->get(), offset, buffer, std::min(capacity, SEND_CHUNK));
        *sent += static_cast<std::int64_t>(got);
        if (throttle > 0 && got > 0) {
            const auto due =
                *started + std::chrono::microseconds(*sent * MICROSECONDS_PER_SECOND / throttle);
            std::this_thread::sleep_until(due);
        }
        return static_cast<ssize_t>(got);
    };
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
bool RangeConditionHolds(const HttpRequest& req, const PackageValidators& validators) {
    const std::optional<std::string> condition = req.header("If-Range");
    if (!condition) {
        return true;
    }
    return *condition == validators.etag ||
           (!validators.last_modified.empty() && *condition == validators.last_modified);
}

// The answer to a package request for a file of length bytes: status, headers and body.
void AnswerPackage(const HttpRequest& req, std::shared_ptr<UniqueFd> file, const struct stat& info,
                   std::int64_t throttle, HttpResponse& res) {
    const auto length = static_cast<std::uint64_t>(info.st_size);
    const PackageValidators validators = ValidatorsOf(info);
    res.setHeader("Accept-Ranges", "bytes");
    res.setHeader("ETag", validators.etag);
    if (!validators.last_modified.empty()) {
        res.setHeader("Last-Modified", validators.last_modified);
    }
    RangeAnswer answer;
    // A range on a condition that fails asks for the whole file.
    const std::optional<std::string> range = req.header("Range");
    if (range && RangeConditionHolds(req, validators)) {
        answer = EvaluateRangeHeader(*range, length);
    }
    PackageBody body = PackageBody::FileSpan(0, length);
    std::string type = PACKAGE_TYPE;
    switch (answer.decision) {
    case RangeDecision::UNSATISFIABLE:
        res.status = HTTP_RANGE_NOT_SATISFIABLE;
        res.setHeader("Content-Range", UnsatisfiedRangeText(length));
        return;
    case RangeDecision::PARTIAL:
        res.status = HTTP_PARTIAL_CONTENT;
        if (answer.ranges.size() == 1) {
            const ByteRange& range = answer.ranges.front();
            res.setHeader("Content-Range", ContentRangeText(range, length));
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
    res.setHeader("Content-Type", type);
    if (body.size() > 0) {
        res.reader_size = body.size();
        res.reader = BodyReader(std::move(file), std::move(body), throttle);
    }
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
bool NumberParam(const HttpRequest& req, const char* name, std::int64_t low, std::int64_t high,
                 std::int64_t fallback, std::int64_t& value) {
    if (req.query.empty() || !req.param(name)) {
        value = fallback;
        return true;
    }
    const std::string text = *req.param(name);
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && stop == end && value >= low && value <= high;
}

HttpServer::Limits ServerLimits(const DemoReleaseService::Options& options) {
    HttpServer::Limits limits;
    limits.workers = options.workers;
    limits.read_timeout = options.request_deadline;
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
      server_(std::make_unique<HttpServer>(ServerLimits(options_),
                                           [this](const std::string& line) { log(line); })) {}

DemoReleaseService::~DemoReleaseService() = default;

std::string DemoReleaseService::address() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

bool DemoReleaseService::bind(int port, std::string& error) {
    store_ = IEventStore::Open(options_.events, options_.data_dir, error);
    if (!store_ || !bindPort(port, error) || !loadRelease(error)) {
        return false;
    }
    writer_ = std::make_unique<EventWriter>(*store_, EventWriter::Limits{});
    installRoutes();
    return true;
}

bool DemoReleaseService::bindPort(int port, std::string& error) {
    if (!server_->bind(port, error)) {
        return false;
    }
    port_ = server_->port();
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
    // Of the package fields only the mirrors are the release file's own; the size and the
    // digests are the served package's.
    nlohmann::json mirrors = nlohmann::json::object();
    if (release.contains(PACKAGE_MIRRORS_FIELD)) {
        mirrors[PACKAGE_MIRRORS_FIELD] = release[PACKAGE_MIRRORS_FIELD];
    }
    const PackageFields named = ParsePackageDataObject(mirrors.dump());
    if (named.malformed) {
        error = "the release file " + options_.release_file +
                " names its package fields in the wrong form (Package_mirrors: an array of "
                "absolute http or https URLs)";
        return false;
    }
    mirrors_ = named.mirrors;
    // A piece size makes the replies carry the digests of the served package's pieces.
    std::int64_t piece_size = 0;
    if (!ReadPieceSize(release, piece_size)) {
        error = "the release file " + options_.release_file + ": " + PACKAGE_PIECE_SIZE_FIELD +
                " must be a power of two from 65536 to 16777216";
        return false;
    }
    served_package_.setPieceSize(piece_size);
    return true;
}

void DemoReleaseService::run() {
    // The store's state comes before the address, so whoever waits for the address sees it.
    std::string error;
    if (store_->connect(error)) {
        log("inkwarden-demo-service: events in " + store_->describe());
    } else {
        log("inkwarden-demo-service: events cannot be stored until this is mended: " + error);
    }
    log("inkwarden-demo-service: listening on " + address());
    logUndescribedPackage();
    server_->run();
}

void DemoReleaseService::stop() {
    server_->stop();
}

void DemoReleaseService::logUndescribedPackage() {
    const std::string& url = !release_.Download_silent_url.empty() ? release_.Download_silent_url
                                                                   : release_.Download_url;
    if (options_.packages_dir.empty() || url.rfind(address() + PACKAGES_PATH, 0) != 0) {
        return; // not ours to describe
    }
    if (served_package_.fields(release_, address(), options_.packages_dir) == PackageFields{}) {
        log("inkwarden-demo-service: the package " + EscapeLogField(url) +
            " is not a file in the packages folder; replies carry no package fields");
    }
}

void DemoReleaseService::log(const std::string& line) {
    std::lock_guard<std::mutex> lock(log_lock_);
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
}

void DemoReleaseService::installRoutes() {
    HttpServer& server = *server_;
    server.route("POST", LATEST_VERSION_PATH, [this](const HttpRequest& req, HttpResponse& res) {
        onLatestVersionQuery(req, res);
    });
    server.route("POST", EVENT_PATH,
                 [this](const HttpRequest& req, HttpResponse& res) { onEvent(req, res); });
    server.route("GET", "/api/events",
                 [this](const HttpRequest& req, HttpResponse& res) { onEventList(req, res); });
    server.route("GET", PACKAGES_PATH,
                 [this](const HttpRequest& req, HttpResponse& res) { onPackage(req, res); });
    server.route("GET", "/printer_license_chs.htm", [](const HttpRequest&, HttpResponse& res) {
        res.setContent(LICENCE_PAGE, "text/html; charset=utf-8");
    });
    server.route("GET", "/contact-us.html", [](const HttpRequest&, HttpResponse& res) {
        res.setContent(CONTACT_PAGE, "text/html; charset=utf-8");
    });
}

void DemoReleaseService::onLatestVersionQuery(const HttpRequest& req, HttpResponse& res) {
    LatestVersionRequest request;
    std::string error;
    if (!DecodeLatestVersionRequest(req.body, request, error)) {
        log("query rejected (400): " + error);
        res.status = HTTP_BAD_REQUEST;
        res.setContent(error + "\n", "text/plain");
        return;
    }
    PackageFields package = served_package_.fields(release_, address(), options_.packages_dir);
    package.mirrors = mirrors_;
    const std::string reply = EncodeLatestVersionReply(release_, package);
    const std::string signature =
        SignatureFor(options_.signer.get(), req.header(NONCE_HEADER).value_or(""), req.body, reply);
    if (!signature.empty()) {
        res.setHeader(SIGNATURE_HEADER, signature);
        if (const std::string certificate = CertificateFor(options_.signer.get());
            !certificate.empty()) {
            res.setHeader(SIGNING_KEY_HEADER, certificate);
        }
    }
    log("query: s=" + EscapeLogField(request.s) + " v=" + EscapeLogField(request.v) +
        " a=" + std::to_string(request.a) + " u=" + std::to_string(request.u) +
        " p=" + EscapeLogField(request.p) + " -> " + EscapeLogField(release_.Version_number) +
        (signature.empty() ? " (unsigned)" : " (signed)"));
    res.setContent(reply, "application/json");
}

void DemoReleaseService::onEvent(const HttpRequest& req, HttpResponse& res) {
    ReceivedEvent event;
    std::string error;
    if (!DecodeEvent(req.body, event, error)) {
        log("event rejected: " + EscapeLogField(error));
        res.setContent("0", "text/plain");
        return;
    }
    const char* meaning = EventMeaning(event.code);
    const std::string described = "event " + std::to_string(event.code) + " (" +
                                  (*meaning != '\0' ? meaning : "unknown code") +
                                  ") p=" + EscapeLogField(event.machine_id) + " k " +
                                  (event.check_matches ? "matches" : "does not match");
    const EventWriter::Result written = writer_->append(event, NowMilliseconds());
    // Never a silent drop: the client hears that the event was not taken.
    switch (written.outcome) {
    case EventWriter::Outcome::BUSY:
        log(described + " NOT STORED (503): the store is busy");
        res.status = HTTP_UNAVAILABLE;
        res.setHeader("Retry-After", EVENT_RETRY_AFTER_SECONDS);
        res.setContent("0", "text/plain");
        return;
    case EventWriter::Outcome::FAILED:
        log(described + " NOT STORED (500): " + EscapeLogField(written.error));
        res.status = HTTP_SERVER_ERROR;
        res.setContent("0", "text/plain");
        return;
    case EventWriter::Outcome::STORED:
        break;
    }
    log(described + " #" + std::to_string(written.id));
    res.setContent(event.check_matches ? "1" : "0", "text/plain");
}

void DemoReleaseService::onEventList(const HttpRequest& req, HttpResponse& res) {
    std::int64_t since = 0;
    std::int64_t limit = 0;
    if (!NumberParam(req, "since", 0, INT64_MAX, 0, since) ||
        !NumberParam(req, "limit", 1, MAX_EVENT_PAGE, DEFAULT_EVENT_PAGE, limit)) {
        res.status = HTTP_BAD_REQUEST;
        res.setContent("since must be a row number and limit a number from 1 to " +
                           std::to_string(MAX_EVENT_PAGE) + "\n",
                       "text/plain");
        return;
    }
    std::vector<StoredEvent> rows;
    std::string error;
    if (!store_->list(since, static_cast<std::size_t>(limit), rows, error)) {
        log("event list failed (500): " + EscapeLogField(error));
        res.status = HTTP_SERVER_ERROR;
        // The reason, with the database's whereabouts, stays in our log.
        res.setContent("the events cannot be read now\n", "text/plain");
        return;
    }
    nlohmann::json list = nlohmann::json::array();
    for (const StoredEvent& row : rows) {
        list.push_back(EventJson(row));
    }
    res.setContent(list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                   "application/json");
}

void DemoReleaseService::onPackage(const HttpRequest& req, HttpResponse& res) {
    std::string request = req.method + " " + EscapeLogField(req.path);
    if (const std::optional<std::string> range = req.header("Range")) {
        request += " Range: " + EscapeLogField(*range);
    }
    const std::optional<std::string> name =
        PackageFolder::NameFromUrlPath(std::string_view(req.path).substr(strlen(PACKAGES_PATH)));
    if (!name || options_.packages_dir.empty()) {
        log(request + " -> 404 (not a package name)");
        res.status = HTTP_NOT_FOUND;
        return;
    }
    if (package_requests_.fetch_add(1) < options_.fail_downloads) {
        log(request + " -> 503 (--fail-downloads)");
        res.status = HTTP_UNAVAILABLE;
        return;
    }
    struct stat info {};
    auto file = std::make_shared<UniqueFd>(PackageFolder::Open(options_.packages_dir, *name, info));
    if (!*file) {
        log(request + " -> 404");
        res.status = HTTP_NOT_FOUND;
        return;
    }
    AnswerPackage(req, std::move(file), info, options_.throttle, res);
    log(request + " -> " + std::to_string(res.status));
}

} // namespace inkwarden::demo

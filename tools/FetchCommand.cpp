// fetch: one download through the segmented engine, as the installer runs it.
#include "Subcommands.h"
#include "TransferOptions.h"
#include "net/SegmentedDownloader.h"
#include "release/PackageFields.h"
#include "release/ReleaseCheck.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <signal.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace inkwarden::tool {
namespace {

SegmentedDownloader* g_engine = nullptr;
volatile sig_atomic_t g_interrupted = 0;

// Setting an atomic flag is all a signal handler may do here; the engine polls it.
void OnInterrupt(int) {
    g_interrupted = 1;
    if (g_engine != nullptr) {
        g_engine->Cancel();
    }
}

std::string Bytes(double bytes) {
    const char* UNITS[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    while (bytes >= 1024 && unit < 4) {
        bytes /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, UNITS[unit]);
    return text;
}

// Redraws one line on standard error at most ten times a second.
class ProgressBar {
public:
    void update(int64_t done, int64_t total, bool final_report) {
        const auto now = std::chrono::steady_clock::now();
        if (!final_report && now - last_draw_ < std::chrono::milliseconds(100)) {
            return;
        }
        last_draw_ = now;
        const double seconds = std::chrono::duration<double>(now - begin_).count();
        const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
        char line[160];
        if (total == SegmentedDownloader::UNKNOWN_SIZE) {
            std::snprintf(line, sizeof line, "\r%s  %s/s", Bytes(static_cast<double>(done)).c_str(),
                          Bytes(rate).c_str());
        } else {
            const double fraction = static_cast<double>(done) / static_cast<double>(total);
            const int filled = static_cast<int>(fraction * 30);
            std::string bar(static_cast<size_t>(filled), '#');
            bar.resize(30, '-');
            const double left = rate > 0 ? static_cast<double>(total - done) / rate : 0;
            std::snprintf(line, sizeof line, "\r[%s] %5.1f%%  %s / %s  %s/s  %02d:%02d left ",
                          bar.c_str(), fraction * 100, Bytes(static_cast<double>(done)).c_str(),
                          Bytes(static_cast<double>(total)).c_str(), Bytes(rate).c_str(),
                          static_cast<int>(left) / 60, static_cast<int>(left) % 60);
        }
        std::fputs(line, stderr);
    }

private:
    std::chrono::steady_clock::time_point begin_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_draw_;
};

// The command's options; each flag sets one field.
struct FetchOptions {
    int connections = 6;
    bool resume = true;
    bool verbose = false;
    // A release file's package fields: the size bounds the download, the digests check it
    // piece by piece and whole.
    const char* release_file = nullptr;
    // Further sources of the same bytes (--mirror, repeatable).
    std::vector<std::string> mirrors;
};

struct FlagOption {
    const char* name;
    void (*apply)(FetchOptions& options);
};

constexpr FlagOption FLAGS[] = {
    {"--no-resume", [](FetchOptions& options) { options.resume = false; }},
    {"--verbose", [](FetchOptions& options) { options.verbose = true; }},
};

// Reads the options before URL and PATH; false (with a message) on a bad one.
bool ParseOptions(int argc, char** argv, int& i, FetchOptions& options) {
    while (i < argc && std::strncmp(argv[i], "--", 2) == 0) {
        const TransferOption shared = TakeTransferOption(argc, argv, i);
        if (shared == TransferOption::INVALID) {
            return false;
        }
        if (shared == TransferOption::TAKEN) {
            continue;
        }
        if (std::strcmp(argv[i], "--release") == 0 && i + 1 < argc) {
            options.release_file = argv[i + 1];
            i += 2;
            continue;
        }
        if (std::strcmp(argv[i], "--mirror") == 0) {
            if (i + 1 >= argc || !IsMirrorUrl(argv[i + 1])) {
                std::fprintf(stderr, "fetch: --mirror takes an absolute http or https URL\n");
                return false;
            }
            options.mirrors.emplace_back(argv[i + 1]);
            i += 2;
            continue;
        }
        if (std::strcmp(argv[i], "--connections") == 0) {
            char* end = nullptr;
            const long value = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : 0;
            if (end == nullptr || *end != '\0' || value < 1 || value > 64) {
                std::fprintf(stderr, "fetch: --connections takes a number from 1 to 64\n");
                return false;
            }
            options.connections = static_cast<int>(value);
            i += 2;
            continue;
        }
        const auto flag =
            std::find_if(std::begin(FLAGS), std::end(FLAGS),
                         [&](const FlagOption& f) { return std::strcmp(f.name, argv[i]) == 0; });
        if (flag == std::end(FLAGS)) {
            std::fprintf(stderr, "fetch: unknown option %s\n", argv[i]);
            return false;
        }
        flag->apply(options);
        ++i;
    }
    return true;
}

// The package fields of a release file; false (with a message) when it cannot be read or its
// fields are malformed.
bool ReadReleaseFile(const char* path, PackageFields& fields) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
        std::fprintf(stderr, "fetch: %s cannot be read\n", path);
        return false;
    }
    fields = ParsePackageDataObject(text.str());
    if (fields.malformed) {
        std::fprintf(stderr, "fetch: %s: malformed package fields\n", path);
        return false;
    }
    return true;
}

// After a download with a release file: the file must be the release's, or it goes.
bool CheckAgainstRelease(const std::string& path, const PackageFields& fields) {
    const ReleaseCheck check = CheckPackageFile(path, fields);
    if (check == ReleaseCheck::PASSED) {
        return true;
    }
    ::unlink(path.c_str());
    std::fprintf(stderr, "fetch: %s; %s removed\n", ReleaseCheckText(check), path.c_str());
    return false;
}

} // namespace

int FetchCommand(int argc, char** argv) {
    FetchOptions options;
    int i = 0;
    if (!ParseOptions(argc, argv, i, options)) {
        return USAGE_ERROR;
    }
    // An empty PATH names no file at all.
    if (argc - i != 2 || argv[i][0] == '\0' || argv[i + 1][0] == '\0') {
        return USAGE_ERROR;
    }

    PackageFields release;
    if (options.release_file != nullptr && !ReadReleaseFile(options.release_file, release)) {
        return 1;
    }

    SegmentedDownloader engine;
    DownloadRequest request;
    request.expected_size = release.size;
    request.piece_size = release.piece_size.value_or(0);
    request.piece_sha256 = release.piece_sha256;
    request.url = argv[i];
    request.mirrors = release.mirrors;
    request.mirrors.insert(request.mirrors.end(), options.mirrors.begin(), options.mirrors.end());
    request.target_path = argv[i + 1];
    request.connections = options.connections;
    request.resume = options.resume;
    // The probe's header lines are noise unless asked for.
    request.echo_probe_headers = options.verbose;

    g_engine = &engine;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    ProgressCallback progress;
    ProgressBar bar;
    const bool show_bar = ::isatty(STDERR_FILENO) == 1;
    if (show_bar) {
        // The engine delivers reports one at a time, so the bar needs no lock.
        progress = [&bar](int64_t done, int64_t total, double) {
            bar.update(done, total, done == total);
        };
    }
    const DownloadResult result = engine.Download(request, progress);
    const bool ok = result.done;
    g_engine = nullptr;
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::fflush(stdout);
    if (show_bar) {
        std::fputs("\n", stderr);
    }
    if (!ok) {
        const std::string partial = std::string(argv[i + 1]) + SegmentedDownloader::TEMP_SUFFIX;
        if (g_interrupted && ::access(partial.c_str(), F_OK) != 0) {
            // Nothing that a later fetch could continue was kept.
            std::fprintf(stderr, "fetch: interrupted\n");
        } else if (g_interrupted) {
            std::fprintf(stderr,
                         "fetch: interrupted, the partial file stays as %s.tmp (the same fetch "
                         "continues it)\n",
                         argv[i + 1]);
        } else {
            // One line that says why: the status, the transfer's error, or the file's.
            std::fprintf(stderr, "fetch: %s\n", result.cause.c_str());
        }
        return 1;
    }
    return CheckAgainstRelease(request.target_path, release) ? 0 : 1;
}

} // namespace inkwarden::tool

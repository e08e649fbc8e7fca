// The engine with mirrors on loopback: each mirror is limited to one rate for all of its
// connections together (a server's uplink, not a per-connection limit). Prints one Markdown
// row per case with the median of its runs, and whether the target holds.
//   bench_mirrors [RUNS]
#include "net/SegmentedDownloader.h"
#include "tests/support/MirrorServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using inkwarden::DownloadRequest;
using inkwarden::DownloadResult;
using inkwarden::SegmentedDownloader;
using inkwarden::test::MirrorServer;

constexpr int64_t SIZE = 32 << 20;
constexpr int64_t RATE = 8 << 20;

// The diagnostic lines would only interleave with the table.
class Silent : public inkwarden::DownloadObserver {
public:
    void OnAttemptEvent(const inkwarden::AttemptEvent&) override {}
};

// One download from fresh servers; the seconds it took, or -1 for a wrong or failed file.
double TimedDownload(const std::string& content,
                     const std::vector<MirrorServer::Behaviour>& kinds) {
    std::vector<std::unique_ptr<MirrorServer>> servers;
    for (const MirrorServer::Behaviour& kind : kinds) {
        servers.push_back(std::make_unique<MirrorServer>(content, kind));
    }
    inkwarden::test::TempDir folder;
    DownloadRequest request;
    request.url = servers[0]->url();
    for (size_t i = 1; i < servers.size(); ++i) {
        request.mirrors.push_back(servers[i]->url());
    }
    request.target_path = folder.file("package.bin");
    request.connections = 6;
    request.echo_probe_headers = false;
    request.expected_size = SIZE;
    Silent silent;
    SegmentedDownloader engine;
    engine.SetObserver(silent);
    const auto begin = std::chrono::steady_clock::now();
    const DownloadResult result = engine.Download(request);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    const bool exact =
        result.done && inkwarden::test::TestFiles::ReadAll(request.target_path) == content;
    return exact ? seconds : -1;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double MedianOf(int runs, const std::string& content,
                const std::vector<MirrorServer::Behaviour>& kinds) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double seconds = TimedDownload(content, kinds);
        if (seconds < 0) {
            std::fprintf(stderr, "bench_mirrors: a download ended without the exact file\n");
            std::exit(1);
        }
        times.push_back(seconds);
    }
    return Median(times);
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string content = inkwarden::test::TestFiles::Pattern(0, SIZE);
    const MirrorServer::Behaviour limited = MirrorServer::Behaviour().Rate(RATE);
    // Half of its even share of the file.
    const MirrorServer::Behaviour dying = MirrorServer::Behaviour().Rate(RATE).DiesAfter(SIZE / 4);

    const double alone = MedianOf(runs, content, {limited});
    const double two = MedianOf(runs, content, {limited, limited});
    const double with_dying = MedianOf(runs, content, {limited, dying});

    std::printf("| case | seconds (median of %d) | against one source | target | met |\n", runs);
    std::printf("|---|---|---|---|---|\n");
    std::printf("| one source, 8 MiB/s shared, 32 MiB, 6 connections | %.2f | 1.00 | | |\n", alone);
    std::printf("| two mirrors, each 8 MiB/s shared | %.2f | %.2f | at most 0.6 | %s |\n", two,
                two / alone, two / alone <= 0.6 ? "yes" : "no");
    std::printf(
        "| good source + a mirror that dies after 8 MiB | %.2f | %.2f | at most 1.25 | %s |\n",
        with_dying, with_dying / alone, with_dying / alone <= 1.25 ? "yes" : "no");
    return 0;
}

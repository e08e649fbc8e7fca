// inkwarden-demo-service: the demo release service on 127.0.0.1.
#include "BuildConfig.h"
#include "demo/DemoReleaseService.h"
#include "demo/ReleaseSigner.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <string>
#include <thread>

namespace {

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: inkwarden-demo-service [--port N] [--release FILE] [--packages DIR]\n"
                 "                              [--throttle BYTES] [--fail-downloads N]\n"
                 "                              [--signing-key FILE | --no-signing]\n"
                 "  --port N            port on 127.0.0.1 (default 18080, 0 = any free port)\n"
                 "  --release FILE      release JSON with the six fields; \"{service}\" in it\n"
                 "                      becomes this service's address\n"
                 "  --packages DIR      folder served under /packages/\n"
                 "  --throttle BYTES    per-connection rate for package downloads\n"
                 "  --fail-downloads N  the first N package requests answer 503\n"
                 "  --signing-key FILE  PEM Ed25519 private key that signs the version replies\n"
                 "                      (default: the build's demo key, when it has one)\n"
                 "  --no-signing        unsigned replies, as an older service sends them\n");
}

bool ParseNumber(const char* text, long long& value) {
    char* end = nullptr;
    value = std::strtoll(text, &end, 10);
    return *text != '\0' && *end == '\0' && value >= 0;
}

} // namespace

int main(int argc, char** argv) {
    using inkwarden::demo::DemoReleaseService;
    DemoReleaseService::Options options;
    long long port = 18080;
    std::string signing_key = inkwarden::build_config::DEMO_RELEASE_PRIVATE_KEY;
    // Every option but --no-signing takes a value: the loop steps over both, and
    // --no-signing steps back by one.
    for (int i = 1; i < argc; i += 2) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        long long number = 0;
        if (arg == "--no-signing") {
            signing_key.clear();
            --i;
        } else if (arg == "--signing-key" && has_value) {
            signing_key = argv[i + 1];
        } else if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return 0;
        } else if (arg == "--port" && has_value && ParseNumber(argv[i + 1], number) &&
                   number <= 65535) {
            port = number;
        } else if (arg == "--release" && has_value) {
            options.release_file = argv[i + 1];
        } else if (arg == "--packages" && has_value) {
            options.packages_dir = argv[i + 1];
        } else if (arg == "--throttle" && has_value && ParseNumber(argv[i + 1], number)) {
            options.throttle = number;
        } else if (arg == "--fail-downloads" && has_value && ParseNumber(argv[i + 1], number) &&
                   number <= 1000000) {
            options.fail_downloads = static_cast<int>(number);
        } else {
            std::fprintf(stderr, "inkwarden-demo-service: bad argument '%s'\n", arg.c_str());
            PrintUsage(stderr);
            return 2;
        }
    }

    // Signals go to one watcher thread, which stops the server from outside the handler.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::string error;
    if (!signing_key.empty()) {
        auto signer = inkwarden::demo::ReleaseSigner::FromPemFile(signing_key, error);
        if (!signer) {
            std::fprintf(stderr, "inkwarden-demo-service: %s\n", error.c_str());
            return 1;
        }
        options.signer = std::make_shared<inkwarden::demo::ReleaseSigner>(std::move(*signer));
    }

    DemoReleaseService service(options);
    if (!service.bind(static_cast<int>(port), error)) {
        std::fprintf(stderr, "inkwarden-demo-service: %s\n", error.c_str());
        return 1;
    }
    if (options.signer) {
        std::printf("inkwarden-demo-service: version replies signed with %s\n",
                    signing_key.c_str());
    } else {
        std::printf("inkwarden-demo-service: version replies are not signed\n");
    }

    std::thread watcher([&service, signals] {
        int received = 0;
        sigwait(&signals, &received);
        std::fprintf(stdout, "inkwarden-demo-service: stopping (%s)\n", strsignal(received));
        std::fflush(stdout);
        service.stop();
    });
    service.run();
    // The server may also end on its own; wake the watcher so it can be joined.
    pthread_kill(watcher.native_handle(), SIGTERM);
    watcher.join();
    return 0;
}

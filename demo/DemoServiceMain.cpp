// inkwarden-demo-service: the demo release service on 127.0.0.1.
#include "BuildConfig.h"
#include "demo/DemoReleaseService.h"
#include "demo/ReleaseSigner.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <pthread.h>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>

namespace {

using inkwarden::demo::DemoReleaseService;

constexpr long long MAX_PORT = 65535;
constexpr long long MAX_FAILED_DOWNLOADS = 1000000;
constexpr long long MAX_WORKERS = 4096;
constexpr long long MAX_READ_TIMEOUT_MS = 3600000;

void PrintUsage(std::FILE* out) {
    std::fprintf(
        out, "usage: inkwarden-demo-service [--port N] [--release FILE] [--packages DIR]\n"
             "                              [--throttle BYTES] [--fail-downloads N] [--data DIR]\n"
             "                              [--events URI] [--workers N] [--read-timeout MS]\n"
             "                              [--signing-key FILE [--signing-certificate FILE]\n"
             "                               | --no-signing]\n"
             "                              [--help] [--version]\n"
             "  --port N            port on 127.0.0.1 (default 18080, 0 = any free port)\n"
             "  --release FILE      release JSON with the six fields; \"{service}\" in it\n"
             "                      becomes this service's address\n"
             "  --packages DIR      folder served under /packages/\n"
             "  --throttle BYTES    per-connection rate for package downloads\n"
             "  --fail-downloads N  the first N package requests answer 503\n"
             "  --data DIR          folder of the events database (default\n"
             "                      $XDG_STATE_HOME/inkwarden-demo-service, else\n"
             "                      ~/.local/state/inkwarden-demo-service)\n"
             "  --events URI        keep the events in PostgreSQL (postgresql://...) instead\n"
             "  --workers N         connections served at once (default 128)\n"
             "  --read-timeout MS   time for the head and body of one request (default 5000)\n"
             "  --signing-key FILE  PEM Ed25519 private key that signs the version replies\n"
             "                      (default: the build's demo signing key, when it has one)\n"
             "  --signing-certificate FILE\n"
             "                      the root's certificate for that key, as \"inkwarden-tool\n"
             "                      release certify\" prints it; sent with every signature\n"
             "                      (default: the build's, with the build's signing key)\n"
             "  --no-signing        unsigned replies, as an older service sends them\n"
             "  --help              this text\n"
             "  --version           the version of this program\n");
}

bool ParseNumber(const char* text, long long low, long long high, long long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text, &end, 10);
    return *text != '\0' && *end == '\0' && errno == 0 && value >= low && value <= high;
}

struct Settings {
    DemoReleaseService::Options options;
    long long port = 18080;
    std::string signing_key = inkwarden::build_config::DEMO_SIGNING_PRIVATE_KEY;
    std::string signing_certificate = inkwarden::build_config::DEMO_SIGNING_CERTIFICATE;
    bool signing_key_given = false;
    bool signing_certificate_given = false;
};

// One option that takes a value: true when the value is acceptable.
struct ValueOption {
    std::string_view name;
    bool (*apply)(Settings& settings, const char* value);
};

// A whole number from LOW to HIGH into an option field.
template <auto FIELD, long long LOW, long long HIGH>
bool SetNumber(Settings& settings, const char* value) {
    long long n = 0;
    if (!ParseNumber(value, LOW, HIGH, n)) {
        return false;
    }
    using Field = std::remove_reference_t<decltype(settings.options.*FIELD)>;
    settings.options.*FIELD = Field(n);
    return true;
}

// A text into an option field; NON_EMPTY refuses "".
template <auto FIELD, bool NON_EMPTY> bool SetText(Settings& settings, const char* value) {
    settings.options.*FIELD = value;
    return !NON_EMPTY || *value != '\0';
}

using Options = DemoReleaseService::Options;

const ValueOption VALUE_OPTIONS[] = {
    {"--port", [](Settings& s, const char* v) { return ParseNumber(v, 0, MAX_PORT, s.port); }},
    {"--release", SetText<&Options::release_file, false>},
    {"--packages", SetText<&Options::packages_dir, false>},
    {"--throttle", SetNumber<&Options::throttle, 0, INT64_MAX>},
    {"--fail-downloads", SetNumber<&Options::fail_downloads, 0, MAX_FAILED_DOWNLOADS>},
    {"--data", SetText<&Options::data_dir, true>},
    {"--events", SetText<&Options::events, true>},
    {"--workers", SetNumber<&Options::workers, 1, MAX_WORKERS>},
    {"--read-timeout", SetNumber<&Options::request_deadline, 1, MAX_READ_TIMEOUT_MS>},
    {"--signing-key",
     [](Settings& s, const char* v) {
         s.signing_key = v;
         s.signing_key_given = true;
         return *v != '\0';
     }},
    {"--signing-certificate",
     [](Settings& s, const char* v) {
         s.signing_certificate = v;
         s.signing_certificate_given = true;
         return *v != '\0';
     }},
};

enum class ParseOutcome { RUN, EXIT_OK, USAGE_ERROR };

ParseOutcome ParseArguments(int argc, char** argv, Settings& settings) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return ParseOutcome::EXIT_OK;
        }
        if (arg == "--no-signing") {
            settings.signing_key.clear();
            continue;
        }
        if (arg == "--version") {
            std::printf("inkwarden-demo-service %s\n", inkwarden::build_config::VERSION);
            return ParseOutcome::EXIT_OK;
        }
        const ValueOption* option = nullptr;
        for (const ValueOption& candidate : VALUE_OPTIONS) {
            option = candidate.name == arg ? &candidate : option;
        }
        if (option == nullptr || i + 1 >= argc || !option->apply(settings, argv[i + 1])) {
            std::fprintf(stderr, "inkwarden-demo-service: bad argument '%s'\n", argv[i]);
            PrintUsage(stderr);
            return ParseOutcome::USAGE_ERROR;
        }
        ++i;
    }
    // The build's certificate is for the build's signing key only.
    if (settings.signing_key_given && !settings.signing_certificate_given) {
        settings.signing_certificate.clear();
    }
    if (settings.options.data_dir.empty()) {
        settings.options.data_dir = inkwarden::demo::DefaultDataFolder();
    }
    return ParseOutcome::RUN;
}

// The certificate file holds the header value on its first line.
bool LoadCertificate(const std::string& path, inkwarden::demo::ReleaseSigner& signer,
                     std::string& error) {
    if (path.empty()) {
        return true;
    }
    std::ifstream in(path);
    std::string value;
    if (!in || !std::getline(in, value)) {
        error = "cannot read the signing certificate " + path;
        return false;
    }
    if (!signer.setCertificate(value, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Settings settings;
    switch (ParseArguments(argc, argv, settings)) {
    case ParseOutcome::EXIT_OK:
        return 0;
    case ParseOutcome::USAGE_ERROR:
        return 2;
    case ParseOutcome::RUN:
        break;
    }

    // Signals go to one watcher thread, which stops the server from outside the handler.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::string error;
    if (!settings.signing_key.empty()) {
        auto signer = inkwarden::demo::ReleaseSigner::FromPemFile(settings.signing_key, error);
        if (!signer || !LoadCertificate(settings.signing_certificate, *signer, error)) {
            std::fprintf(stderr, "inkwarden-demo-service: %s\n", error.c_str());
            return 1;
        }
        settings.options.signer =
            std::make_shared<inkwarden::demo::ReleaseSigner>(std::move(*signer));
    }

    DemoReleaseService service(settings.options);
    if (!service.bind(static_cast<int>(settings.port), error)) {
        std::fprintf(stderr, "inkwarden-demo-service: %s\n", error.c_str());
        return 1;
    }
    if (settings.options.signer && !settings.options.signer->certificate().empty()) {
        std::printf("inkwarden-demo-service: version replies signed with %s, certified by the "
                    "root until %s\n",
                    settings.signing_key.c_str(),
                    inkwarden::UtcTimeText(settings.options.signer->certifiedUntil()).c_str());
    } else if (settings.options.signer) {
        std::printf("inkwarden-demo-service: version replies signed with %s\n",
                    settings.signing_key.c_str());
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

// inkwarden-tool event: sends one event exactly as the installer's reporter does.
#include "Subcommands.h"
#include "TransferOptions.h"
#include "net/HttpClient.h"
#include "telemetry/EventReporter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace inkwarden::tool {

int EventCommand(int argc, char** argv) {
    std::string url = EVENT_URL;
    const char* code_text = nullptr;
    for (int i = 0; i < argc; ++i) {
        const TransferOption shared = TakeTransferOption(argc, argv, i);
        if (shared == TransferOption::INVALID) {
            return USAGE_ERROR;
        }
        if (shared == TransferOption::TAKEN) {
            --i; // the loop steps on
            continue;
        }
        if (std::strcmp(argv[i], "--service") == 0 && i + 1 < argc) {
            url = std::string(argv[++i]) + EVENT_PATH;
        } else if (code_text == nullptr && argv[i][0] != '-') {
            code_text = argv[i];
        } else {
            code_text = nullptr;
            break;
        }
    }
    char* end = nullptr;
    const long code = code_text ? std::strtol(code_text, &end, 10) : 0;
    if (code_text == nullptr || *end != '\0' || code < INT32_MIN || code > INT32_MAX) {
        return USAGE_ERROR;
    }

    EventReporter reporter(EventReporter::Options{url, true});
    reporter.Start(); // acquires the digest, as the installer does before its first event
    const std::string body = reporter.BuildBody(static_cast<int>(code));
    reporter.Stop();

    HttpClient client;
    const HttpResponse response = client.Post(url, body, JSON_HEADER_LINE);
    if (!response.cause.empty()) {
        std::fprintf(stderr, "inkwarden-tool: %s (%s)\n", response.cause.c_str(), url.c_str());
    }
    std::printf("sent: %s\n", body.c_str());
    std::printf("status: %d\n", response.status);
    std::printf("answer: %s\n", response.body.c_str());
    return response.body == "1" ? 0 : 1;
}

} // namespace inkwarden::tool

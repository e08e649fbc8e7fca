#include "net/DownloadObserver.h"
#include "platform/DiagnosticSink.h"

#include <cinttypes>
#include <cstdio>

namespace inkwarden {

void DiagnosticPrinter::OnAttemptEvent(const AttemptEvent& event) {
    switch (event.kind) {
    case AttemptEventKind::TRANSFER_FAILED:
        PrintDiagnostic("curl_easy_perform failed res: %ld: %s\n", event.number,
                        event.cause.c_str());
        break;
    case AttemptEventKind::STATUS_REFUSED:
        PrintDiagnostic("curl_easy_getinfo failed rescode: %ld\n", event.number);
        break;
    case AttemptEventKind::ANSWER_SHORT:
        PrintDiagnostic("segment %d incomplete: %" PRId64 " bytes missing\n", event.range,
                        event.bytes);
        break;
    case AttemptEventKind::ANSWER_REFUSED:
        PrintDiagnostic("segment %d answer refused: %s\n", event.range, event.cause.c_str());
        break;
    case AttemptEventKind::RESUMED:
        PrintDiagnostic("segment %d resumes at %" PRId64 "\n", event.range, event.bytes);
        break;
    case AttemptEventKind::RETRY:
        PrintDiagnostic("retry: %ld\n", event.number);
        break;
    case AttemptEventKind::RESTARTED:
        PrintDiagnostic("download restarted: %s\n", event.cause.c_str());
        break;
    case AttemptEventKind::SOURCE_BYTES:
        PrintDiagnostic("source %s: %" PRId64 " bytes\n", event.source.c_str(), event.bytes);
        break;
    case AttemptEventKind::SOURCE_DROPPED:
        PrintDiagnostic("source %s dropped: %s\n", event.source.c_str(), event.cause.c_str());
        break;
    case AttemptEventKind::PIECE_FAILED:
        std::printf("piece %ld at %" PRId64 " failed its digest (%s): %s\n", event.number,
                    event.bytes, event.source.empty() ? "partial file" : event.source.c_str(),
                    event.cause.c_str());
        break;
    }
}

DiagnosticPrinter& DiagnosticPrinter::Shared() {
    static DiagnosticPrinter printer;
    return printer;
}

} // namespace inkwarden

#include "net/SourceProbe.h"

#include "net/DownloadCause.h"
#include "net/HttpResponse.h"
#include "net/TransferFault.h"
#include "platform/DiagnosticSink.h"

#include <cstdio>
#include <thread>
#include <vector>

namespace inkwarden {
namespace {

// The probe succeeds only with a 2xx answer.
bool IsProbeSuccess(long status) {
    return status >= HTTP_OK && status < HTTP_MULTIPLE_CHOICES;
}

// The content length of a probe that got an answer: -1 when none was given, 0 for an answer
// outside 2xx.
int64_t ProbedLength(CURL* curl, std::string& failure) {
    curl_off_t content_length = -1;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &content_length);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (!IsProbeSuccess(status)) {
        failure = "HTTP status " + std::to_string(status);
        return 0;
    }
    if (content_length == 0) {
        failure = download_cause::EMPTY_FILE;
    }
    return content_length;
}

// The probe's body stream: libcurl passes the header lines there too (the probe asks for
// them), and prints them when no sink is set.
size_t DiscardProbeText(char*, size_t size, size_t count, void*) {
    return size * count;
}

size_t EchoProbeText(char* data, size_t size, size_t count, void*) {
    DiagnosticSink::Shared().Write(std::string_view(data, size * count));
    return size * count;
}

void SleepFor(std::chrono::milliseconds pause) {
    std::this_thread::sleep_for(pause);
}

// Why a source's probe shows that it does not serve the reference's file; empty when it
// does.
std::string MirrorMismatch(const SourceProbe& probe, const ProbeFacts& first) {
    if (!probe.failure.empty()) {
        return probe.failure;
    }
    if (probe.length != first.length) {
        return "the source announces " + std::to_string(probe.length) + " bytes, the others " +
               std::to_string(first.length);
    }
    const std::string validator = ResumeValidator(probe.headers);
    if (!validator.empty() && !first.validator.empty() && validator != first.validator) {
        return "the source names another version of the file (" + validator + ")";
    }
    if (!SupportsRanges(probe.headers)) {
        return "the source serves no byte ranges";
    }
    return {};
}

} // namespace

SourceProbe ProbeSource(const std::string& url, const DownloadTimings& timings, TransferFlags flags,
                        bool echo, bool give_up_when_refused) {
    SourceProbe probe;
    CurlEasyHandle handle = NewCurlEasyHandle();
    if (!handle) {
        probe.failure = download_cause::NO_TRANSFER;
        return probe;
    }
    CURL* curl = handle.get();
    SetProbeRequest(curl, url, &AddHeaderLine, &probe.headers);
    SetBodySink(curl, echo ? &EchoProbeText : &DiscardProbeText, nullptr);
    SetBaseOptions(curl, timings.probe, flags);

    // Only a run without an answer is tried again, after a short pause that no cancel ends.
    CURLcode code = CURLE_OK;
    for (int attempt = 0; attempt < timings.probe_attempts; ++attempt) {
        code = curl_easy_perform(curl);
        const TransferFault fault = ClassifyTransfer(curl, code);
        if (fault == TransferFault::NONE) {
            std::string failure;
            probe.length = ProbedLength(curl, failure);
            if (!failure.empty()) {
                probe.failure = failure + " (" + url + ")";
            }
            // Later answers from elsewhere are trusted only as far as they agree with this.
            const char* answered = nullptr;
            curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &answered);
            probe.origin = OriginOf(answered != nullptr ? answered : url);
            return probe;
        }
        probe.refused = code == CURLE_COULDNT_CONNECT;
        if (!IsRetryableFault(fault) || (probe.refused && give_up_when_refused)) {
            break;
        }
        SleepFor(timings.probe_pause);
    }
    probe.length = 0;
    probe.failure = DescribeTransferFault(curl, code) + " (" + url + ")";
    return probe;
}

SourceProbe ProbeReference(SourceSelector& sources, const DownloadTimings& timings,
                           TransferFlags flags, bool echo) {
    SourceProbe probe;
    const int count = static_cast<int>(sources.Count());
    for (int source = 0; source < count; ++source) {
        if (!sources.Alive(source)) {
            continue;
        }
        sources.SetReference(source);
        probe = ProbeSource(sources.Url(source), timings, flags, echo, false);
        // A source without the file is no reference while another may have it.
        if (probe.length != 0 || sources.AliveCount() == 1) {
            break;
        }
        sources.Drop(source, probe.failure);
    }
    return probe;
}

void ProbeMirrors(SourceSelector& sources, bool ranged, const DownloadTimings& timings,
                  TransferFlags flags) {
    const size_t count = sources.Count();
    const auto reference = static_cast<size_t>(sources.Reference());
    for (size_t i = 0; !ranged && i < count; ++i) {
        if (i != reference) {
            sources.Drop(static_cast<int>(i), "the file is served only whole");
        }
    }
    // One slow or silent mirror must not hold up the others' probes.
    std::vector<SourceProbe> probes(count);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < count; ++i) {
        if (i == reference || !sources.Alive(static_cast<int>(i))) {
            continue;
        }
        threads.emplace_back([&, i] {
            probes[i] = ProbeSource(sources.Url(static_cast<int>(i)), timings,
                                    flags | TRANSFER_NO_SIGNAL, false, true);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const ProbeFacts first = sources.Probe(static_cast<int>(reference));
    for (size_t i = 0; i < count; ++i) {
        const int source = static_cast<int>(i);
        if (i == reference || !sources.Alive(source)) {
            continue;
        }
        const std::string mismatch = MirrorMismatch(probes[i], first);
        if (!mismatch.empty()) {
            sources.Drop(source, mismatch);
            continue;
        }
        sources.SetProbe(source, {.length = probes[i].length,
                                  .validator = ResumeValidator(probes[i].headers),
                                  .origin = probes[i].origin});
    }
}

} // namespace inkwarden

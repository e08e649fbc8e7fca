#pragma once

#include "net/AnswerCheck.h"
#include "net/CurlTransfer.h"
#include "net/DownloadTimings.h"
#include "net/ResponseHeaders.h"
#include "net/SourceSelector.h"

#include <cstdint>
#include <string>

namespace inkwarden {

// What a header-only request to one source found.
struct SourceProbe {
    // The announced length: -1 when none was given, 0 when the probe failed.
    int64_t length = 0;
    HeaderMap headers;
    // Scheme, host and port that answered, after redirects.
    std::string origin;
    // Why the probe failed (or found an empty file), naming the URL; empty otherwise.
    std::string failure;
    // The source took no connection.
    bool refused = false;
};

// Probes url, trying again after a pause while no answer comes (up to the timings' probe
// attempts), except that give_up_when_refused ends at the first refused connection. echo
// copies the header lines to standard output.
SourceProbe ProbeSource(const std::string& url, const DownloadTimings& timings, TransferFlags flags,
                        bool echo, bool give_up_when_refused);

// Probes the sources in use in order until one answers, dropping those that did not while
// another is left, and makes the one that answered (or the last one asked) the reference.
SourceProbe ProbeReference(SourceSelector& sources, const DownloadTimings& timings,
                           TransferFlags flags, bool echo);

// Probes every other source still in use, all at the same time, and drops each one that does
// not serve the reference's file: another length, another validator (where both give one), no
// ranges, or no answer. The reference's facts are set already; ranged false (the reference
// gives no length or no ranges) drops them all unasked.
void ProbeMirrors(SourceSelector& sources, bool ranged, const DownloadTimings& timings,
                  TransferFlags flags);

} // namespace inkwarden

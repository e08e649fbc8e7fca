#pragma once

#include "net/DownloadSegment.h"
#include "net/SegmentManager.h"
#include "net/SourceSelector.h"

#include <curl/curl.h>

namespace inkwarden {

enum class AttemptOutcome {
    DONE,    // the range is in the file
    STOP,    // a cancel, or a failure that asking again would not mend
    RETRY,   // the range is asked for again from its first missing byte
    CHANGED, // the file changed on the server: the whole download starts afresh
};

// The check of the segment's current answer, made once its status and headers are in (at its
// first body bytes, or at its end when it had none).
const AnswerJudgement& CheckSegmentAnswer(DownloadSegment& segment);

// What one finished attempt of a segment means; its failures go to the engine's observer.
AttemptOutcome JudgeAttempt(DownloadSegment& segment, const SegmentManager& manager, CURLcode code);

// Whether a judged attempt failed by its source's fault.
SourceFault SourceFaultOf(const DownloadSegment& segment, CURLcode code, AttemptOutcome outcome);

} // namespace inkwarden

#include "net/SegmentAttempt.h"

#include "net/DownloadCause.h"
#include "net/DownloadFiles.h"
#include "net/HttpResponse.h"
#include "net/SegmentedDownloader.h"
#include "net/TransferFault.h"

namespace inkwarden {
namespace {

long AnswerStatus(DownloadSegment& segment) {
    if (segment.attempt_status == 0 && segment.transfer) {
        curl_easy_getinfo(segment.transfer.get(), CURLINFO_RESPONSE_CODE, &segment.attempt_status);
    }
    return segment.attempt_status;
}

// An answer that is not data for the range: a status, other bytes, or another file.
AttemptOutcome JudgeRefusedAnswer(DownloadSegment& segment) {
    const SegmentedDownloader& owner = segment.owner;
    const AnswerJudgement& judgement = segment.judgement;
    const std::string url = owner.SourceUrl(segment.source);
    switch (judgement.verdict) {
    case AnswerVerdict::CHANGED:
        segment.failure = judgement.cause;
        return AttemptOutcome::CHANGED;
    case AnswerVerdict::NOT_DATA:
        owner.Report({.kind = AttemptEventKind::STATUS_REFUSED,
                      .range = segment.index,
                      .source = url,
                      .cause = {},
                      .number = segment.attempt_status,
                      .bytes = 0});
        segment.failure = judgement.cause + " (" + url + ")";
        // A missing file stays missing: asking again would not help.
        return segment.attempt_status == HTTP_NOT_FOUND ? AttemptOutcome::STOP
                                                        : AttemptOutcome::RETRY;
    case AnswerVerdict::WRONG:
    case AnswerVerdict::DATA:
        break;
    }
    owner.Report({.kind = AttemptEventKind::ANSWER_REFUSED,
                  .range = segment.index,
                  .source = url,
                  .cause = judgement.cause,
                  .number = 0,
                  .bytes = 0});
    segment.failure = judgement.cause + " (" + url + ")";
    // Asking again would only bring the same overrun.
    return judgement.cause == download_cause::WRITES_PAST_END ? AttemptOutcome::STOP
                                                              : AttemptOutcome::RETRY;
}

} // namespace

const AnswerJudgement& CheckSegmentAnswer(DownloadSegment& segment) {
    if (segment.answer_checked) {
        return segment.judgement;
    }
    segment.answer_checked = true;
    const char* answered = nullptr;
    curl_easy_getinfo(segment.transfer.get(), CURLINFO_EFFECTIVE_URL, &answered);
    const ByteRange asked{segment.attempt_start, segment.attempt_last};
    segment.judgement =
        CheckAnswer(AnswerStatus(segment), segment.attempt_headers,
                    answered != nullptr ? answered : segment.owner.SourceUrl(segment.source),
                    segment.owner.ProbeOf(segment.source), asked, segment.ranged());
    return segment.judgement;
}

AttemptOutcome JudgeAttempt(DownloadSegment& segment, const SegmentManager& manager,
                            CURLcode code) {
    // The range's end was lowered by a thief and reached: the rest is the thief's.
    if (segment.cut_by_steal) {
        segment.done = true;
        return AttemptOutcome::DONE;
    }
    // The progress sink asked to stop: a cancel, never retried.
    if (code == CURLE_ABORTED_BY_CALLBACK) {
        return AttemptOutcome::STOP;
    }
    const SegmentedDownloader& owner = segment.owner;
    // A refused certificate or a proxy's 407 stays so: asking again would not help.
    const TransferFault fault = ClassifyTransfer(segment.transfer.get(), code);
    if (fault != TransferFault::NONE && !IsRetryableFault(fault)) {
        segment.failure = DescribeTransferFault(segment.transfer.get(), code);
        owner.Report({.kind = AttemptEventKind::TRANSFER_FAILED,
                      .range = segment.index,
                      .source = owner.SourceUrl(segment.source),
                      .cause = segment.failure,
                      .number = static_cast<long>(code),
                      .bytes = 0});
        return AttemptOutcome::STOP;
    }
    // An answer whose body was refused, or one that ended without a body, is judged by what it
    // said; a transfer that broke off otherwise by how it ended.
    const bool judged = segment.answer_checked || (code == CURLE_OK && AnswerStatus(segment) != 0);
    if (judged && CheckSegmentAnswer(segment).verdict != AnswerVerdict::DATA) {
        return JudgeRefusedAnswer(segment);
    }
    if (code != CURLE_OK) {
        owner.Report({.kind = AttemptEventKind::TRANSFER_FAILED,
                      .range = segment.index,
                      .source = owner.SourceUrl(segment.source),
                      .cause = curl_easy_strerror(code),
                      .number = static_cast<long>(code),
                      .bytes = 0});
        segment.failure =
            code == CURLE_WRITE_ERROR && segment.write_error != 0
                ? FileErrorText(owner.Request().target_path + SegmentedDownloader::TEMP_SUFFIX,
                                segment.write_error)
                : DescribeTransferFault(segment.transfer.get(), code);
        return AttemptOutcome::RETRY;
    }
    // An answer that ended early resumes where its data stopped.
    const ByteRange rest = manager.Remaining(segment.index);
    if (segment.ranged() && rest.first <= rest.last) {
        owner.Report({.kind = AttemptEventKind::ANSWER_SHORT,
                      .range = segment.index,
                      .source = owner.SourceUrl(segment.source),
                      .cause = {},
                      .number = 0,
                      .bytes = rest.size()});
        segment.failure = "the server sent less than it announced";
        return AttemptOutcome::RETRY;
    }
    segment.done = true;
    return AttemptOutcome::DONE;
}

SourceFault SourceFaultOf(const DownloadSegment& segment, CURLcode code, AttemptOutcome outcome) {
    if (outcome == AttemptOutcome::DONE) {
        return SourceFault::NONE;
    }
    if (outcome == AttemptOutcome::CHANGED) {
        return SourceFault::CHANGED;
    }
    if (code == CURLE_COULDNT_CONNECT) {
        return SourceFault::REFUSED;
    }
    const bool wrong = segment.answer_checked && segment.judgement.verdict == AnswerVerdict::WRONG;
    return wrong ? SourceFault::WRONG_ANSWER : SourceFault::NONE;
}

} // namespace inkwarden

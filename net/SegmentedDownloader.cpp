#include "net/SegmentedDownloader.h"

#include "net/DownloadCause.h"
#include "net/DownloadControlFile.h"
#include "net/DownloadFiles.h"
#include "net/HttpResponse.h"
#include "net/SegmentAttempt.h"
#include "net/SourceProbe.h"
#include "net/ThreadPool.h"
#include "net/TransferFault.h"
#include "platform/DiagnosticSink.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace inkwarden {
namespace {

using Clock = SegmentManager::Clock;

// Segments share one temporary file, each writing its own range through its own descriptor.
constexpr mode_t TEMPORARY_FILE_MODE = 0644;

void SleepFor(std::chrono::milliseconds pause) {
    std::this_thread::sleep_for(pause);
}

} // namespace

SegmentedDownloader::SegmentedDownloader(DownloadTimings timings)
    : timings_(timings), observer_(&DiagnosticPrinter::Shared()) {
    // Global set-up once per process, before any thread makes a handle.
    static const CURLcode global_init = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)global_init;
}

SegmentedDownloader::~SegmentedDownloader() {
    cancel = true;
    WaitIdle();
}

void SegmentedDownloader::WaitIdle() {
    while (busy) {
        SleepUnlessCancelled(timings_.idle_poll);
        if (cancel && busy) {
            // The cancelled download is still collecting its segments; do not spin.
            SleepFor(timings_.cancelled_poll);
        }
    }
}

std::string SegmentedDownloader::TemporaryPath() const {
    return request_.target_path + TEMP_SUFFIX;
}

std::string SegmentedDownloader::ControlPath(const std::string& target_path) {
    return target_path + TEMP_SUFFIX + DownloadControlFile::SUFFIX;
}

void SegmentedDownloader::NoteFailure(const std::string& reason, int error) {
    // The first cause is the one worth telling; what follows from it is not.
    std::lock_guard<std::mutex> lock(segments_mutex_);
    if (failure_reason_.empty() && !reason.empty()) {
        failure_reason_ = reason;
        failure_error_ = error;
    }
}

DownloadResult SegmentedDownloader::Download(const DownloadRequest& request,
                                             ProgressCallback callback) {
    // A download that is still collecting its segments ends first.
    WaitIdle();
    request_ = request;
    progress = std::move(callback);
    delivered_ = 0;
    size_refused_ = false;
    sources_.Reset(SourceUrls(request_), *observer_);
    {
        std::lock_guard<std::mutex> lock(segments_mutex_);
        failure_reason_.clear();
        failure_error_ = 0;
    }
    bool done = CheckTarget() && RunOnce(false);
    // The file changed under the download: once more from the start, never mixed.
    if (!done && file_changed_ && !cancel) {
        Report({.kind = AttemptEventKind::RESTARTED,
                .range = -1,
                .source = {},
                .cause = download_cause::FILE_CHANGED,
                .number = 0,
                .bytes = 0});
        {
            std::lock_guard<std::mutex> lock(segments_mutex_);
            failure_reason_.clear();
            failure_error_ = 0;
        }
        done = RunOnce(true);
        if (!done && file_changed_) {
            std::lock_guard<std::mutex> lock(segments_mutex_);
            failure_reason_ = download_cause::FILE_CHANGED;
            failure_error_ = 0;
        }
    }
    lock_.Release();
    // The next download starts uncancelled.
    cancel = false;
    sources_.ReportBytes();
    return TakeResult(done);
}

DownloadResult SegmentedDownloader::TakeResult(bool done) {
    DownloadResult result;
    result.done = done;
    result.total_size = total_size;
    result.size_refused = size_refused_;
    std::lock_guard<std::mutex> lock(segments_mutex_);
    if (!done) {
        result.cause = failure_reason_;
        result.error = failure_error_;
    }
    const std::vector<int64_t> bytes = sources_.Bytes();
    for (size_t i = 0; i < bytes.size(); ++i) {
        result.bytes_per_source.push_back({sources_.Url(static_cast<int>(i)), bytes[i]});
    }
    result.pieces_failed = pieces_.FailedCount();
    return result;
}

bool SegmentedDownloader::CheckTarget() {
    const std::string problem = TargetProblem(request_.target_path);
    NoteFailure(problem);
    return problem.empty();
}

bool SegmentedDownloader::RunOnce(bool fresh) {
    file_changed_ = false;
    halt_ = false;
    // Lengths stay 64-bit; only a missing length becomes UNKNOWN_SIZE.
    HeaderMap map;
    const int64_t size = ProbeSize(map);
    total_size = size < 0 ? UNKNOWN_SIZE : size;
    // A failed probe touches no file and never sets busy.
    if (total_size == 0 || !AcceptProbedLength(size) || !LockTarget()) {
        return false;
    }
    probe_.length = size;
    probe_.validator = ResumeValidator(map);
    sources_.SetProbe(sources_.Reference(), probe_);
    ProbeMirrors(sources_, size > 0 && SupportsRanges(map), timings_, RedirectFlag());
    const SegmentPlan plan = PlanSegments(map, size > 0);

    busy = true;
    const bool result = RunSegments(plan, fresh);
    busy = false;
    return result;
}

bool SegmentedDownloader::AcceptProbedLength(int64_t size) {
    // The caller's length is the bound: another one is another file, or no file worth it.
    const std::optional<int64_t> expected = request_.expected_size;
    if (expected && size > 0 && size != *expected) {
        size_refused_ = true;
        NoteFailure(download_cause::SizeMismatch(size, *expected));
        return false;
    }
    return true;
}

bool SegmentedDownloader::LockTarget() {
    if (lock_.Held()) {
        return true;
    }
    switch (lock_.Acquire(TemporaryPath())) {
    case TargetLock::Outcome::LOCKED:
        return true;
    case TargetLock::Outcome::BUSY:
        NoteFailure(download_cause::AnotherDownload(request_.target_path));
        return false;
    case TargetLock::Outcome::FILE_ERROR:
        NoteFailure(FileErrorText(TemporaryPath(), lock_.Error()), lock_.Error());
        return false;
    }
    return false;
}

SegmentedDownloader::SegmentPlan SegmentedDownloader::PlanSegments(const HeaderMap& map,
                                                                   bool length_known) const {
    SegmentPlan plan;
    plan.total = total_size;
    plan.length_known = length_known;
    plan.ranges = SupportsRanges(map);
    // Without byte ranges, or without a length, one connection fetches everything.
    plan.count = plan.ranges ? std::max({request_.connections, 1, sources_.AliveCount()}) : 1;
    if (!length_known) {
        plan.count = 1;
        plan.segment_size = UNKNOWN_SIZE;
        return plan;
    }
    // A small file is not worth more than one connection.
    if (plan.total <= SINGLE_CONNECTION_LIMIT) {
        plan.count = 1;
    }
    plan.segment_size = plan.total / plan.count;
    return plan;
}

std::vector<ByteRange> SegmentedDownloader::PlannedRanges(const SegmentPlan& plan) const {
    // One segment takes everything there is; of several, the last takes the remainder.
    if (!plan.length_known) {
        return {{0, SegmentManager::UNBOUNDED}};
    }
    std::vector<ByteRange> ranges;
    for (int i = 0; i < plan.count; ++i) {
        const int64_t first = i * plan.segment_size;
        const int64_t end = i < plan.count - 1 ? (i + 1) * plan.segment_size : plan.total;
        ranges.push_back({first, end - 1});
    }
    return ranges;
}

TransferFlags SegmentedDownloader::RedirectFlag() const {
    return request_.follow_redirects ? TransferFlags{TRANSFER_FOLLOW_REDIRECTS} : TransferFlags{0};
}

int64_t SegmentedDownloader::ProbeSize(HeaderMap& map) {
    // The probe may use signals: it always did.
    SourceProbe probe =
        ProbeReference(sources_, timings_, RedirectFlag(), request_.echo_probe_headers);
    map = std::move(probe.headers);
    NoteFailure(probe.failure);
    probe_.origin = probe.origin;
    return probe.length;
}

bool SegmentedDownloader::RunSegments(const SegmentPlan& plan, bool fresh) {
    const DownloadControlFile control(ControlPath(request_.target_path));
    reported_bytes = 0;
    submission_failed_ = false;
    {
        std::lock_guard<std::mutex> lock(segments_mutex_);
        segments.clear();
    }

    // Only a download whose pieces can be asked for again, and whose sameness a later run can
    // check, keeps a record; small files go as they always did.
    const bool keeps_record = plan.length_known && plan.ranges && !probe_.validator.empty() &&
                              plan.total > SINGLE_CONNECTION_LIMIT;
    ResumeState state{request_.url, plan.total, probe_.validator, {}};
    // A failed piece is asked for again by its range; without ranges only the whole file's
    // digest can tell.
    const bool pieces = plan.length_known && plan.ranges && request_.expected_size == plan.total;
    pieces_.Reset(pieces ? plan.total : 0, request_.piece_size, request_.piece_sha256);
    std::vector<ByteRange> missing = PlannedRanges(plan);
    const bool resumed = keeps_record && request_.resume && !fresh &&
                         ResumeFromRecord(control, state, plan.count, missing);
    if (!resumed) {
        // An old record must never describe the bytes of a new download.
        control.Remove();
    }
    std::string problem;
    int error = 0;
    if (!PrepareTemporaryFile(TemporaryPath(), resumed, problem, error)) {
        NoteFailure(problem, error);
        return false;
    }

    // A steal splits at a piece boundary, so that each piece comes from one request.
    manager_.Reset(plan.length_known ? plan.total : SegmentManager::UNBOUNDED, missing,
                   timings_.steal, pieces_.PieceSize());
    // Bytes of an earlier run count as done from the start.
    ReportProgress();

    const int workers = missing.empty() ? 0 : plan.count;
    return Finish(RunWorkers(workers, keeps_record ? &control : nullptr, state),
                  keeps_record ? &control : nullptr, state);
}

bool SegmentedDownloader::ResumeFromRecord(const DownloadControlFile& control,
                                           const ResumeState& wanted, int connections,
                                           std::vector<ByteRange>& missing) {
    const std::optional<ResumeState> record = control.Read();
    if (!record || record->url != wanted.url || record->length != wanted.length ||
        record->validator != wanted.validator) {
        return false;
    }
    // The temporary file must still hold every byte that the record counts as done.
    UniqueFd file(::open(TemporaryPath().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    const int64_t needed = record->completed.empty() ? 0 : record->completed.back().last + 1;
    const int64_t size = file ? FileSize(file.get()) : -1;
    if (!file || !IsOwnRegularFile(file.get()) || size < needed || size > wanted.length) {
        return false;
    }
    // The pieces that the partial file holds whole are checked before they are trusted.
    std::vector<PieceChecker::Failure> damaged;
    const std::vector<ByteRange> trusted = pieces_.Resume(file.get(), record->completed, damaged);
    for (const PieceChecker::Failure& failure : damaged) {
        Report(PieceChecker::Event(failure, {}));
    }
    missing = SegmentManager::SplitEvenly(SegmentManager::Complement(trusted, wanted.length),
                                          connections);
    return true;
}

void SegmentedDownloader::CheckPieces(DownloadSegment& segment, int64_t offset, int64_t written) {
    for (const PieceChecker::Failure& failure :
         pieces_.Commit(segment.file.get(), offset, written, segment.source)) {
        const bool known = failure.source != PieceChecker::NO_SOURCE;
        Report(PieceChecker::Event(failure, known ? sources_.Url(failure.source) : std::string()));
        // Of several sources, the one that served the damaged piece goes and the others fetch
        // the piece; the last one left is asked again, a few times.
        if (known && sources_.AliveCount() > 1 &&
            sources_.Drop(failure.source,
                          download_cause::PieceFailed(failure.piece, failure.range.first))) {
            manager_.Reopen(failure.range, false);
            continue;
        }
        const bool gave_up = failure.failures >= timings_.piece_attempts;
        manager_.Reopen(failure.range, gave_up);
        if (gave_up) {
            NoteFailure(download_cause::PieceKeepsFailing(failure.piece, failure.failures,
                                                          known ? sources_.Url(failure.source)
                                                                : request_.url));
            halt_ = true;
        }
    }
}

bool SegmentedDownloader::RunWorkers(int workers, const DownloadControlFile* control,
                                     const ResumeState& state) {
    if (workers > 0) {
        ThreadPool pool(workers);
        for (int i = 0; i < workers; ++i) {
            SubmitWorker(pool);
        }
        WaitForWorkers(control, state);
        // Leaving the scope destroys the pool, which runs every submitted task to its end.
    }
    // The workers' last reports may have raced each other; report the final total once more.
    ReportProgress();
    return !submission_failed_ && manager_.AllComplete();
}

void SegmentedDownloader::SubmitWorker(ThreadPool& pool) {
    // A worker that cannot be submitted fails the download, as a segment that never ran.
    try {
        ++active_tasks;
        pool.enqueue([this] {
            RunWorker();
            std::lock_guard<std::mutex> lock(workers_mutex_);
            if (--active_tasks == 0) {
                workers_done_.notify_all();
            }
        });
    } catch (const std::exception&) {
        --active_tasks;
        submission_failed_ = true;
        PrintDiagnostic("download excetion\n");
    }
}

void SegmentedDownloader::WaitForWorkers(const DownloadControlFile* control,
                                         const ResumeState& state) {
    // The record follows the download at most once per interval, from this thread only.
    std::unique_lock<std::mutex> lock(workers_mutex_);
    while (active_tasks != 0) {
        const bool ended = workers_done_.wait_for(lock, timings_.control_interval,
                                                  [this] { return active_tasks == 0; });
        if (!ended && control != nullptr) {
            lock.unlock();
            SaveRecord(*control, state);
            lock.lock();
        }
    }
}

void SegmentedDownloader::SaveRecord(const DownloadControlFile& control, ResumeState state) const {
    state.completed = manager_.Completed();
    control.Write(state);
}

bool SegmentedDownloader::Finish(bool result, const DownloadControlFile* control,
                                 const ResumeState& state) {
    if (cancel && !result) {
        NoteFailure(download_cause::CANCELLED);
    }
    {
        std::lock_guard<std::mutex> lock(segments_mutex_);
        segments.clear();
    }
    // The rename replaces the old target only with a complete file; a failed one is a failed
    // download.
    if (result && std::rename(TemporaryPath().c_str(), request_.target_path.c_str()) != 0) {
        const int error = errno;
        PrintDiagnostic("rename failed: %s\n", request_.target_path.c_str());
        NoteFailure("cannot replace " + FileErrorText(request_.target_path, error), error);
        result = false;
    }
    if (control != nullptr) {
        // A complete download needs no record; any other keeps what arrived for the next run.
        if (result) {
            control->Remove();
        } else {
            SaveRecord(*control, state);
        }
    } else if (!result) {
        // What no later run can continue only takes up space.
        ::unlink(TemporaryPath().c_str());
    }
    NoteFailure(result ? std::string() : download_cause::INCOMPLETE);
    return result;
}

void SegmentedDownloader::RunWorker() {
    // A worker fetches the first range that nobody works on; when there is none, the upper
    // part of the largest one still running; it ends when neither is left.
    int64_t rate = SegmentManager::UNKNOWN_RATE;
    const bool may_steal = request_.connections > 1 || sources_.Several();
    while (!Halted()) {
        const int slot = manager_.Acquire(Clock::now(), rate, may_steal, sources_.SlowRanks());
        if (slot == SegmentManager::NO_SLOT) {
            // A busy range may still become worth taking over (its connection slows down);
            // the worker waits for that without a connection, until no range is busy.
            if (may_steal && WaitForSlotChange()) {
                continue;
            }
            break;
        }
        DownloadSegment* segment = NewSegment(slot);
        if (segment == nullptr) {
            // The temporary file cannot be opened: the segments already running stop.
            manager_.Release(slot, true);
            cancel = true;
            break;
        }
        RunSegment(*segment);
        sources_.Leave(segment->source);
        if (segment->done && !segment->ranged()) {
            manager_.Finish(slot);
        }
        rate = segment->done ? manager_.Rate(slot, Clock::now()) : SegmentManager::UNKNOWN_RATE;
        sources_.AddRate(segment->source, rate);
        // A range that failed at one of several sources goes to the others.
        const bool handed_over = !segment->done && !Halted() && segment->write_error == 0 &&
                                 sources_.HandOver(segment->source, segment->failure);
        {
            // Under the idle workers' lock, so that none misses the last release.
            std::lock_guard<std::mutex> lock(slots_mutex_);
            manager_.Release(slot, !segment->done && !handed_over);
        }
        slots_changed_.notify_all();
        // A worker whose range failed ends: the download fails, as it always did.
        if (!segment->done && !handed_over) {
            if (!Halted()) {
                NoteFailure(segment->failure, segment->write_error);
            }
            break;
        }
    }
}

bool SegmentedDownloader::WaitForSlotChange() {
    // false once no range is busy: nothing is left to take over.
    std::unique_lock<std::mutex> lock(slots_mutex_);
    if (!manager_.AnyTaken()) {
        return false;
    }
    slots_changed_.wait_for(lock, timings_.steal_poll);
    return !Halted();
}

DownloadSegment* SegmentedDownloader::NewSegment(int slot) {
    // Each segment has its own descriptor on the temporary file.
    const std::string temporary_path = TemporaryPath();
    UniqueFd file(
        ::open(temporary_path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW, TEMPORARY_FILE_MODE));
    if (!file || !IsOwnRegularFile(file.get())) {
        NoteFailure(FileErrorText(temporary_path, file ? EPERM : errno));
        return nullptr;
    }
    const bool ranged = manager_.Remaining(slot).last != SegmentManager::UNBOUNDED;
    auto segment = std::make_unique<DownloadSegment>(*this, slot, std::move(file), ranged);
    segment->source = sources_.Take();
    if (segment->source == SourceSelector::NO_SOURCE) {
        NoteFailure(SourceSelector::NONE_LEFT);
        return nullptr;
    }
    manager_.SetSource(slot, segment->source);
    DownloadSegment* record = segment.get();
    std::lock_guard<std::mutex> lock(segments_mutex_);
    segments.push_back(std::move(segment));
    return record;
}

void SegmentedDownloader::RunSegment(DownloadSegment& segment) {
    int attempts = 0;
    int progress_retries = 0;
    for (;;) {
        // A cancelled download, or a dropped source, starts no further attempt.
        if (Halted() || !sources_.Alive(segment.source)) {
            break;
        }
        // A range that arrived whole but whose answer overran it needs no further request.
        if (segment.ranged() && manager_.Complete(segment.index)) {
            segment.done = true;
            break;
        }
        if (!PrepareSegmentTransfer(segment)) {
            break;
        }
        const CURLcode code = curl_easy_perform(segment.transfer.get());
        const AttemptOutcome outcome = JudgeAttempt(segment, manager_, code);
        segment.transfer.reset();
        // Of several sources, one at fault goes: the range is the others' to fetch.
        if (!sources_.KeepsServing(segment.source, SourceFaultOf(segment, code, outcome),
                                   segment.failure)) {
            break;
        }
        if (outcome == AttemptOutcome::CHANGED) {
            // No byte of the new file may join the old ones: every segment stops.
            file_changed_ = true;
            halt_ = true;
        }
        if (outcome != AttemptOutcome::RETRY) {
            break;
        }
        // The next attempt resumes at the first missing byte, after a pause that a cancel
        // ends early. One that brought bytes of its range costs none of the five attempts.
        SleepUnlessCancelled(timings_.segment_pause);
        const bool progressed =
            segment.ranged() && manager_.Remaining(segment.index).first > segment.attempt_start;
        if (progressed && progress_retries < timings_.progress_retries) {
            ++progress_retries;
            Report({.kind = AttemptEventKind::RESUMED,
                    .range = segment.index,
                    .source = sources_.Url(segment.source),
                    .cause = {},
                    .number = 0,
                    .bytes = manager_.Remaining(segment.index).first});
            continue;
        }
        ++attempts;
        Report({.kind = AttemptEventKind::RETRY,
                .range = segment.index,
                .source = sources_.Url(segment.source),
                .cause = {},
                .number = attempts,
                .bytes = 0});
        if (attempts == timings_.segment_attempts) {
            break;
        }
    }
    std::fflush(stdout);

    // This segment writes no more; the others keep their own descriptors.
    segment.file.reset();
}

bool SegmentedDownloader::PrepareSegmentTransfer(DownloadSegment& segment) {
    // One new handle per attempt.
    segment.transfer = NewCurlEasyHandle();
    if (!segment.transfer) {
        return false;
    }
    segment.attempt_status = 0;
    segment.cut_by_steal = false;
    segment.write_error = 0;
    segment.attempt_headers.clear();
    segment.answer_checked = false;
    segment.judgement = {};
    // A ranged answer is only the asked bytes of the probed file: a changed file comes whole.
    segment.request_headers.reset();
    const ProbeFacts source = sources_.Probe(segment.source);
    if (segment.ranged() && !source.validator.empty()) {
        const std::string if_range = "If-Range: " + IfRangeValue(source.validator);
        segment.request_headers.reset(curl_slist_append(nullptr, if_range.c_str()));
    }

    CURL* curl = segment.transfer.get();
    SetBaseOptions(curl, timings_.segment, TRANSFER_NO_SIGNAL | RedirectFlag());
    SetBodyAndProgressSinks(curl, &SegmentedDownloader::OnSegmentData, &segment,
                            &SegmentedDownloader::OnSegmentProgress, &segment);
    SetHeaderExchange(curl, &AddHeaderLine, &segment.attempt_headers,
                      segment.request_headers.get());

    std::string range;
    if (!segment.ranged()) {
        // Without a length every attempt fetches the whole file again.
        manager_.Restart(segment.index);
        if (::ftruncate(segment.file.get(), 0) != 0) {
            return false;
        }
    }
    const ByteRange rest = manager_.Remaining(segment.index);
    if (segment.ranged()) {
        // A single connection with a known length asks for a range too: "0-" and the last byte.
        range = std::to_string(rest.first) + "-" + std::to_string(rest.last);
    }
    SetRangedGetRequest(curl, sources_.Url(segment.source), range);
    segment.attempt_start = rest.first;
    segment.attempt_last = rest.last;
    manager_.BeginAttempt(segment.index);
    return true;
}

size_t SegmentedDownloader::OnSegmentData(char* data, size_t size, size_t count, void* context) {
    const size_t length = size * count;
    if (data == nullptr || context == nullptr) {
        return length;
    }
    auto& segment = *static_cast<DownloadSegment*>(context);
    SegmentedDownloader& owner = segment.owner;
    SegmentManager& manager = owner.manager_;

    // The body of an error answer is no part of the file; the status decides what follows.
    // Other bytes than were asked for, or another file, end the attempt unwritten.
    switch (CheckSegmentAnswer(segment).verdict) {
    case AnswerVerdict::DATA:
        break;
    case AnswerVerdict::NOT_DATA:
        return length;
    case AnswerVerdict::WRONG:
    case AnswerVerdict::CHANGED:
        return 0;
    }

    // Never write past the range: a neighbour or a thief owns those bytes. The claimed bytes
    // are the segment's until committed. Without a length, never past the caller's size.
    const int64_t offset = manager.Remaining(segment.index).first;
    const std::optional<int64_t> expected = owner.request_.expected_size;
    if (!segment.ranged() && expected && offset + static_cast<int64_t>(length) > *expected) {
        segment.judgement = {AnswerVerdict::WRONG, download_cause::WRITES_PAST_END};
        return 0;
    }
    const int64_t mine = manager.Claim(segment.index, static_cast<int64_t>(length));
    const int64_t written = WriteAt(segment.file.get(), data, mine, offset);
    if (written < mine) {
        segment.write_error = errno;
    }
    manager.Commit(segment.index, written, Clock::now());
    owner.CheckPieces(segment, offset, written);
    segment.received.fetch_add(written, std::memory_order_relaxed);
    owner.delivered_.fetch_add(written, std::memory_order_relaxed);
    owner.sources_.AddBytes(segment.source, written);

    // A thief took the rest of this answer: stop it without a failure.
    if (written == mine && mine < static_cast<int64_t>(length) && segment.ranged() &&
        manager.Remaining(segment.index).last < segment.attempt_last &&
        manager.Complete(segment.index)) {
        segment.cut_by_steal = true;
        return 0;
    }
    // Fewer bytes than delivered (a write error or an overrun) make the library fail the attempt.
    return static_cast<size_t>(written);
}

int SegmentedDownloader::OnSegmentProgress(void* context, curl_off_t download_total,
                                           curl_off_t download_now, curl_off_t, curl_off_t) {
    if (context == nullptr) {
        return 0;
    }
    auto& segment = *static_cast<DownloadSegment*>(context);
    if (!segment.owner.sources_.Alive(segment.source)) {
        return -1;
    }
    // Answers without a length report too, so that cancel reaches them as well.
    if (download_total != 0 || download_now != 0) {
        return segment.owner.ReportProgress();
    }
    return segment.owner.Halted() ? -1 : 0;
}

int SegmentedDownloader::ReportProgress() {
    {
        // Workers report concurrently; the lock orders the reports, and only a growth is
        // reported, so the callable sees done never decrease (a download without a length
        // that starts again from 0 reports again once it passes what it had).
        std::lock_guard<std::mutex> lock(progress_mutex);
        const int64_t done = manager_.DoneBytes();
        const int64_t total = total_size;
        if (total > 0 && done > reported_bytes && progress) {
            progress(done, total, static_cast<double>(done) / static_cast<double>(total));
        }
        if (done > reported_bytes) {
            reported_bytes = done;
        }
    }
    // A non-zero answer makes the library abort the reporting transfer.
    return Halted() ? -1 : 0;
}

void SegmentedDownloader::SleepUnlessCancelled(std::chrono::milliseconds pause) {
    // A pause shorter than one look at cancel is not worth cutting short.
    if (pause < timings_.cancel_poll) {
        SleepFor(pause);
        return;
    }
    const auto begin = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - begin <= pause) {
        if (Halted()) {
            return;
        }
        SleepFor(timings_.cancel_poll);
    }
}

} // namespace inkwarden

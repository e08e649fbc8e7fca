#pragma once

#include "net/ResponseHeaders.h"
#include "net/SegmentManager.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace inkwarden {

// What the probe learned about the resource; every later answer must agree with it.
struct ProbeFacts {
    int64_t length = -1;   // -1: none given
    std::string validator; // as ResumeValidator gives it; empty when none
    std::string origin;    // scheme, host and port that answered the probe
};

// A Content-Range header of a 206: "bytes first-last/total" (total -1 for "*").
struct ContentRange {
    int64_t first = 0;
    int64_t last = 0;
    int64_t total = -1;
};

enum class AnswerVerdict {
    DATA,     // its body goes into the file
    NOT_DATA, // a status that carries none of the file: the attempt failed
    WRONG,    // other bytes than were asked for: the attempt failed, by the source's fault
    CHANGED,  // the file changed on the server since the probe
};

struct AnswerJudgement {
    AnswerVerdict verdict = AnswerVerdict::DATA;
    std::string cause; // empty for DATA
};

// Checks one answer before a byte of it is written: its status, its range against the asked
// one (ranged false: the whole file was asked for), its length and validator against the
// probe's. answer_url is where the answer came from after redirects.
AnswerJudgement CheckAnswer(long status, const HeaderMap& headers, const std::string& answer_url,
                            const ProbeFacts& probe, const ByteRange& asked, bool ranged);

std::optional<ContentRange> ParseContentRange(std::string_view value);

// "scheme://host:port" of an absolute URL, lower-cased; empty when it does not parse.
std::string OriginOf(const std::string& url);

} // namespace inkwarden

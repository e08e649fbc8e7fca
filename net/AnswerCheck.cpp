#include "net/AnswerCheck.h"

#include "net/DownloadCause.h"
#include "net/HttpResponse.h"
#include "platform/UniqueResource.h"

#include <cctype>
#include <charconv>
#include <curl/curl.h>

namespace inkwarden {
namespace {

constexpr long HTTP_PARTIAL_CONTENT = 206;

using CurlUrlHandle = UniqueResource<CURLU, curl_url_cleanup>;

// A decimal number that fills text exactly.
std::optional<int64_t> ParseNumber(std::string_view text) {
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty() || value < 0) {
        return std::nullopt;
    }
    return value;
}

std::optional<int64_t> ContentLength(const HeaderMap& headers) {
    const auto found = headers.find("Content-Length");
    return found == headers.end() ? std::nullopt : ParseNumber(found->second);
}

std::string RangeText(int64_t first, int64_t last) {
    return std::to_string(first) + "-" + std::to_string(last);
}

// A 206 must name exactly the asked first byte, no byte past the asked last one, and the
// probe's length.
AnswerJudgement CheckPartial(const HeaderMap& headers, const ProbeFacts& probe,
                             const ByteRange& asked, bool ranged) {
    if (!ranged) {
        return {AnswerVerdict::WRONG, "a partial answer to a request for the whole file"};
    }
    const auto header = headers.find("Content-Range");
    const std::optional<ContentRange> range =
        header == headers.end() ? std::nullopt : ParseContentRange(header->second);
    if (!range) {
        return {AnswerVerdict::WRONG, "a partial answer without a valid Content-Range"};
    }
    if (range->first != asked.first || range->last > asked.last || range->last < range->first) {
        return {AnswerVerdict::WRONG, "bytes " + RangeText(range->first, range->last) +
                                          " in answer to " + RangeText(asked.first, asked.last)};
    }
    // A partial answer carries the validator a whole one would (a cache that serves other
    // bytes under the same name often drops it).
    if (!probe.validator.empty() && ResumeValidator(headers).empty()) {
        return {AnswerVerdict::WRONG, "a partial answer without the probe's validator"};
    }
    if (probe.length > 0 && range->total != probe.length) {
        return {AnswerVerdict::WRONG, "a total of " + std::to_string(range->total) +
                                          " bytes where the probe announced " +
                                          std::to_string(probe.length)};
    }
    return {};
}

// A redirect to another origin is trusted only with the probe's validator and length.
AnswerJudgement CheckOrigin(long status, const HeaderMap& headers, const std::string& answer_url,
                            const ProbeFacts& probe) {
    if (probe.origin.empty() || OriginOf(answer_url) == probe.origin) {
        return {};
    }
    const std::string validator = ResumeValidator(headers);
    if (!probe.validator.empty() && validator != probe.validator) {
        return {AnswerVerdict::WRONG,
                "a redirect to " + OriginOf(answer_url) + " without the probe's validator"};
    }
    if (status == HTTP_OK && probe.length > 0 && ContentLength(headers) != probe.length) {
        return {AnswerVerdict::WRONG,
                "a redirect to " + OriginOf(answer_url) + " with another length"};
    }
    return {};
}

} // namespace

std::optional<ContentRange> ParseContentRange(std::string_view value) {
    constexpr std::string_view UNIT = "bytes ";
    if (value.size() < UNIT.size() || value.substr(0, UNIT.size()) != UNIT) {
        return std::nullopt;
    }
    value.remove_prefix(UNIT.size());
    const size_t dash = value.find('-');
    const size_t slash = value.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) {
        return std::nullopt;
    }
    const auto first = ParseNumber(value.substr(0, dash));
    const auto last = ParseNumber(value.substr(dash + 1, slash - dash - 1));
    const std::string_view total_text = value.substr(slash + 1);
    const auto total = total_text == "*" ? std::optional<int64_t>(-1) : ParseNumber(total_text);
    if (!first || !last || !total) {
        return std::nullopt;
    }
    return ContentRange{*first, *last, *total};
}

std::string OriginOf(const std::string& url) {
    CurlUrlHandle handle(curl_url());
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        return {};
    }
    std::string origin;
    for (const CURLUPart part : {CURLUPART_SCHEME, CURLUPART_HOST, CURLUPART_PORT}) {
        char* text = nullptr;
        if (curl_url_get(handle.get(), part, &text, CURLU_DEFAULT_PORT) == CURLUE_OK) {
            origin += text;
            curl_free(text);
        }
        origin += part == CURLUPART_SCHEME ? "://" : part == CURLUPART_HOST ? ":" : "";
    }
    for (char& c : origin) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return origin;
}

AnswerJudgement CheckAnswer(long status, const HeaderMap& headers, const std::string& answer_url,
                            const ProbeFacts& probe, const ByteRange& asked, bool ranged) {
    if (status != HTTP_OK && status != HTTP_PARTIAL_CONTENT) {
        return {AnswerVerdict::NOT_DATA, "HTTP status " + std::to_string(status)};
    }
    if (AnswerJudgement origin = CheckOrigin(status, headers, answer_url, probe);
        origin.verdict != AnswerVerdict::DATA) {
        return origin;
    }
    // With If-Range a changed file comes back whole with its new validator: never mixed in.
    const std::string validator = ResumeValidator(headers);
    if (!probe.validator.empty() && !validator.empty() && validator != probe.validator) {
        return {AnswerVerdict::CHANGED, download_cause::FILE_CHANGED};
    }
    if (status == HTTP_PARTIAL_CONTENT) {
        return CheckPartial(headers, probe, asked, ranged);
    }
    // A 200 carries the whole file from its first byte: past offset 0 it belongs elsewhere.
    if (ranged && asked.first != 0) {
        return {AnswerVerdict::WRONG,
                "the whole file in answer to " + RangeText(asked.first, asked.last)};
    }
    return {};
}

} // namespace inkwarden

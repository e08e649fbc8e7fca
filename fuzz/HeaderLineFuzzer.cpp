// Response headers as the download engine reads them: the input is cut into lines as the
// transfer library delivers them (each with its line feed), one call per line. Names compare
// in any case; a status line starts the next response. Then the headers are checked as the
// answer to a ranged request.
#include "net/AnswerCheck.h"
#include "net/SegmentedDownloader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    inkwarden::HeaderMap map;
    std::size_t longest = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::size_t length = end - start;
        longest = length > longest ? length : longest;
        // Lines may be split into calls of any size and count; the return is always the whole.
        const std::size_t size_unit = length % 2 == 0 && length > 0 ? 2 : 1;
        if (inkwarden::SegmentedDownloader::OnHeaderLine(text.data() + start, size_unit,
                                                         length / size_unit, &map) != length) {
            std::abort();
        }
        start = end;
    }
    for (const auto& [name, value] : map) {
        // A name ends at its line's first colon; neither part can outgrow its line, and both
        // come trimmed.
        if (name.find(':') != std::string::npos || name.size() + value.size() > longest) {
            std::abort();
        }
        for (const std::string* part : {&name, &value}) {
            if (!part->empty() && (part->front() == ' ' || part->back() == ' ' ||
                                   part->back() == '\r' || part->back() == '\n')) {
                std::abort();
            }
        }
    }
    inkwarden::SegmentedDownloader::SupportsRanges(map);
    // A validator names its header, or is empty.
    const std::string validator = inkwarden::SegmentedDownloader::ResumeValidator(map);
    if (!validator.empty() && validator.rfind("ETag ", 0) != 0 &&
        validator.rfind("Last-Modified ", 0) != 0) {
        std::abort();
    }
    // The headers as an answer to a ranged request: a range that is taken as data is exactly
    // the asked first byte, within the asked range and of the probe's total.
    const auto range_header = map.find("Content-Range");
    const auto range = range_header == map.end()
                           ? std::nullopt
                           : inkwarden::ParseContentRange(range_header->second);
    const inkwarden::ProbeFacts probe{60000, validator, "http://127.0.0.1:80"};
    const inkwarden::ByteRange asked{range ? range->first : 0, 59999};
    const inkwarden::AnswerJudgement judgement =
        inkwarden::CheckAnswer(206, map, "http://127.0.0.1/file", probe, asked, true);
    if (judgement.verdict == inkwarden::AnswerVerdict::DATA &&
        (!range || range->first != asked.first || range->last > asked.last ||
         range->total != probe.length)) {
        std::abort();
    }
    return 0;
}

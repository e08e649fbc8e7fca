#include "net/ResponseHeaders.h"

#include "platform/TextEncoding.h"

#include <algorithm>
#include <cctype>

namespace inkwarden {
namespace {

std::string TrimBlanks(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

} // namespace

bool HeaderNameLess::operator()(std::string_view a, std::string_view b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) <
               std::tolower(static_cast<unsigned char>(y));
    });
}

size_t AddHeaderLine(char* data, size_t size, size_t count, void* map) {
    const size_t length = size * count;
    if (data == nullptr || map == nullptr) {
        return length;
    }
    auto& headers = *static_cast<HeaderMap*>(map);
    const std::string_view line(data, length);
    // A status line begins the next response (after a redirect): only the last one counts.
    if (line.rfind("HTTP/", 0) == 0) {
        headers.clear();
        return length;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        return length;
    }
    // Names compare in any case, and the blank after the colon is optional.
    headers.emplace(TrimBlanks(line.substr(0, colon)), TrimBlanks(line.substr(colon + 1)));
    return length;
}

bool SupportsRanges(const HeaderMap& map) {
    const auto found = map.find("Accept-Ranges");
    return found != map.end() && EqualsIgnoringAsciiCase(found->second, "bytes");
}

std::string ResumeValidator(const HeaderMap& map) {
    // A weak tag promises the same meaning, not the same bytes: no ground for joining ranges.
    const auto tag = map.find("ETag");
    if (tag != map.end() && !tag->second.empty() && tag->second.rfind("W/", 0) != 0) {
        return "ETag " + tag->second;
    }
    const auto modified = map.find("Last-Modified");
    if (modified != map.end() && !modified->second.empty()) {
        return "Last-Modified " + modified->second;
    }
    return {};
}

std::string IfRangeValue(const std::string& validator) {
    const size_t blank = validator.find(' ');
    return blank == std::string::npos ? std::string() : validator.substr(blank + 1);
}

} // namespace inkwarden

#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace inkwarden {

// Header names compare without regard to ASCII case, as HTTP has them.
struct HeaderNameLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

// Response header name to value (blanks around it trimmed); the first occurrence of a name in
// the last response wins.
using HeaderMap = std::map<std::string, std::string, HeaderNameLess>;

// A transfer's header callback: one header line of a response into map (a HeaderMap). A
// status line starts the map afresh, so after redirects it holds the last response only.
size_t AddHeaderLine(char* data, size_t size, size_t count, void* map);

bool SupportsRanges(const HeaderMap& map);

// What tells that the resource is still the same: a strong ETag, else the Last-Modified date,
// each with its header name ("ETag \"v1\""); empty when the server names neither.
std::string ResumeValidator(const HeaderMap& map);

// The value an If-Range header carries for such a validator: the tag or the date alone.
std::string IfRangeValue(const std::string& validator);

} // namespace inkwarden

#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace inkwarden::demo {

// One request as the service's handlers see it: the target as the client sent it (nothing
// decoded), its headers and its whole body.
struct HttpRequest {
    std::string method;
    std::string path;  // before any '?', still percent-encoded
    std::string query; // after the '?', still percent-encoded
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // The first header of that name (any case).
    std::optional<std::string> header(std::string_view name) const;
    // A query parameter, percent-decoded ('+' as a blank); none when absent or badly encoded.
    std::optional<std::string> param(std::string_view name) const;
};

// The answer: a status, headers and either a body in memory or one produced piece by piece.
struct HttpResponse {
    // Up to capacity bytes of the body from offset; 0 or less ends the answer early.
    using BodyReader =
        std::function<ssize_t(std::uint64_t offset, char* buffer, std::size_t capacity)>;

    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    BodyReader reader; // when set, the body is reader_size bytes from it instead
    std::uint64_t reader_size = 0;

    void setHeader(std::string name, std::string value);
    void setContent(std::string content, std::string type);
};

// "%41" as "A"; none for a broken escape. plus_is_blank for query strings.
std::optional<std::string> PercentDecode(std::string_view text, bool plus_is_blank = false);

} // namespace inkwarden::demo

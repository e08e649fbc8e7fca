#pragma once

#include <cstdint>
#include <string>

namespace inkwarden {

// The HTTP statuses that the clients and the demo service tell apart.
inline constexpr std::int32_t HTTP_OK = 200;
inline constexpr std::int32_t HTTP_MULTIPLE_CHOICES = 300;
inline constexpr std::int32_t HTTP_BAD_REQUEST = 400;
inline constexpr std::int32_t HTTP_NOT_FOUND = 404;
inline constexpr std::int32_t HTTP_UNAVAILABLE = 503;

struct HttpResponse {
    std::string body;        // exactly as received
    std::int32_t status = 0; // 0 when no response was obtained
};

} // namespace inkwarden

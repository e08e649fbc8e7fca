#pragma once

#include "net/TransferFault.h"

#include <cstdint>
#include <string>
#include <vector>

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
    // The values of the one reply header the request asked for, in arrival order, without
    // the blanks around them; empty when it was not asked for or did not come.
    std::vector<std::string> picked_header_values;
    // The same for several headers: one list per name asked for, in the order asked.
    std::vector<std::vector<std::string>> picked_headers;
    // Why no answer came (NONE when one did), and the line that says so to a person.
    TransferFault fault = TransferFault::NONE;
    std::string cause;
};

} // namespace inkwarden

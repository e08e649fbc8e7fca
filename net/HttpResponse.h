#pragma once

#include <cstdint>
#include <string>

namespace inkwarden {

struct HttpResponse {
    std::string body;        // exactly as received
    std::int32_t status = 0; // 0 when no response was obtained
};

} // namespace inkwarden

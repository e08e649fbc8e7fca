#pragma once

#include "net/ServiceProtocol.h"

#include <cstdint>
#include <string>

namespace inkwarden {

// The five members of a latest-version query, in declaration order.
struct LatestVersionRequest {
    std::string s = CLIENT_ID;
    std::string v = CLIENT_VERSION;
    std::int32_t a = APP_ID;
    std::int32_t u = UNION_ID;
    std::string p; // machine identifier text
};

} // namespace inkwarden

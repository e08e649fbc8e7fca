#pragma once

#include "net/HttpClient.h"
#include "release/LatestVersionInfo.h"
#include "release/LatestVersionRequest.h"

#include <cstdint>
#include <string>

namespace inkwarden {

// Compact JSON with the keys in ascending byte order: {"a":..,"p":..,"s":..,"u":..,"v":..}.
std::string BuildLatestVersionRequest(const LatestVersionRequest& request);

// Strict parse of the deciphered reply; stops at the first failure and returns what was read.
LatestVersionInfo ParseLatestVersion(const std::string& text);

// One query: enciphered request, POST, deciphered reply. Failures give an empty or partly
// filled record, never an error.
LatestVersionInfo QueryLatestVersion(HttpClient& client, std::int32_t app_id, std::int32_t union_id,
                                     const std::string& url = LATEST_VERSION_URL);

} // namespace inkwarden

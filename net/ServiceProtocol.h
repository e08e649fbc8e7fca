#pragma once

#include "BuildConfig.h"

#include <cstdint>
#include <string>

// What the installer and its services agree on. The services key on the client identifier
// and version, so these stay as the service knows them.
namespace inkwarden {

inline constexpr const char* CLIENT_ID = "inkwarden-windows";
inline constexpr const char* CLIENT_VERSION = "1.0.0.1";
// The installer's application and distribution-channel identifiers ("a" and "u").
inline constexpr std::int32_t APP_ID = 7;
inline constexpr std::int32_t UNION_ID = 57426;

// Both the version query and the events announce JSON, without a blank after the colon.
inline constexpr const char* JSON_HEADER_LINE = "Content-Type:application/json;charset=UTF-8";

inline constexpr const char* LATEST_VERSION_PATH = "/api/clientlatestversion";
inline constexpr const char* EVENT_PATH = "/api/clientevent";

inline const std::string LATEST_VERSION_URL =
    std::string(build_config::VERSION_SERVICE) + LATEST_VERSION_PATH;
inline const std::string EVENT_URL = std::string(build_config::EVENT_SERVICE) + EVENT_PATH;

} // namespace inkwarden

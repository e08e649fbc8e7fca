#pragma once

#include <cstdint>
#include <string>

namespace inkwarden {

// The extended operating-system version record of the Windows platform.
struct WindowsVersionRecord {
    static constexpr std::uint32_t EXTENDED_SIZE = 284;
    static constexpr std::uint32_t BASIC_SIZE = 276;
    static constexpr std::uint8_t PRODUCT_TYPE_SERVER = 3;

    std::uint32_t size = 0;
    std::uint32_t major_version = 0;
    std::uint32_t minor_version = 0;
    std::uint32_t build_number = 0;
    std::uint32_t platform_id = 0;
    std::string service_pack;
    std::uint16_t service_pack_major = 0;
    std::uint16_t service_pack_minor = 0;
    std::uint16_t suite_mask = 0;
    std::uint8_t product_type = 0;
    std::uint8_t reserved = 0;
};

} // namespace inkwarden

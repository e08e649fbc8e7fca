#pragma once

#include <cstdint>
#include <vector>

namespace inkwarden {

// The firmware's raw SMBIOS structure table with the version it was published under.
struct SmbiosTables {
    std::uint8_t major_version = 0;
    std::uint8_t minor_version = 0;
    std::vector<std::uint8_t> table;
};

} // namespace inkwarden

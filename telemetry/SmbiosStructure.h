#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace inkwarden {

// One structure of an SMBIOS structure table: its formatted area and its string set.
struct SmbiosStructure {
    std::uint8_t type = 0;
    std::size_t offset = 0;           // first byte within the table
    std::size_t formatted_length = 0; // the length byte
    std::size_t total_size = 0;       // formatted area plus strings and both closing NULs
};

// Walks the table from its first byte. The walk stops at the first structure that does not
// fit: fewer than 2 bytes left, a formatted area reaching the end, or no closing double NUL.
std::vector<SmbiosStructure> WalkSmbiosTable(std::span<const std::uint8_t> table);

// The structure's index-th string (from 1); index 0 or one past the last gives "".
std::string SmbiosString(std::span<const std::uint8_t> table, const SmbiosStructure& structure,
                         std::uint8_t index);

} // namespace inkwarden

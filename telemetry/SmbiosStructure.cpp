#include "telemetry/SmbiosStructure.h"

namespace inkwarden {

std::vector<SmbiosStructure> WalkSmbiosTable(std::span<const std::uint8_t> table) {
    std::vector<SmbiosStructure> structures;
    std::size_t offset = 0;
    while (table.size() - offset >= 2) {
        const std::size_t length = table[offset + 1];
        if (length >= table.size() - offset) {
            break;
        }
        // The string set begins after the formatted area and ends with two NULs.
        std::size_t end = offset + length;
        while (end + 1 < table.size() && !(table[end] == 0 && table[end + 1] == 0)) {
            ++end;
        }
        if (end + 1 >= table.size()) {
            break;
        }
        SmbiosStructure structure;
        structure.type = table[offset];
        structure.offset = offset;
        structure.formatted_length = length;
        structure.total_size = end + 2 - offset;
        structures.push_back(structure);
        offset += structure.total_size;
    }
    return structures;
}

std::string SmbiosString(std::span<const std::uint8_t> table, const SmbiosStructure& structure,
                         std::uint8_t index) {
    if (index == 0) {
        return {};
    }
    const std::size_t strings = structure.offset + structure.formatted_length;
    const std::size_t end = structure.offset + structure.total_size;
    std::size_t start = strings;
    for (int k = 1; start < end; ++k) {
        std::size_t stop = start;
        while (stop < end && table[stop] != 0) {
            ++stop;
        }
        // An empty string is where the set ends.
        if (stop == start) {
            return {};
        }
        if (k == index) {
            return std::string(reinterpret_cast<const char*>(table.data()) + start, stop - start);
        }
        start = stop + 1;
    }
    return {};
}

} // namespace inkwarden

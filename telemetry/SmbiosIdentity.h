#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace inkwarden {

// The identity texts of the system (type 1) and enclosure (type 3) structures.
struct SmbiosIdentity {
    std::string system_manufacturer;
    std::string system_product_name;
    std::string system_version;
    std::string system_serial_number;
    std::string system_sku_number;
    std::string chassis_kind;
    std::string enclosure_manufacturer;
    std::string enclosure_version;
    std::string enclosure_serial_number;
    std::string enclosure_asset_tag;

    // The first structure of each type counts. trace, when given, receives the asset-tag
    // diagnostic line.
    static SmbiosIdentity FromTable(std::span<const std::uint8_t> table,
                                    std::FILE* trace = nullptr);

    // The texts in the order the identifier takes them.
    std::string Text() const;
};

} // namespace inkwarden

#include "telemetry/SmbiosIdentity.h"

#include "telemetry/SmbiosStructure.h"

namespace inkwarden {
namespace {

constexpr std::uint8_t SYSTEM_INFORMATION = 1;
constexpr std::uint8_t SYSTEM_ENCLOSURE = 3;
constexpr std::size_t SYSTEM_MINIMUM_SIZE = 27;
constexpr std::size_t ENCLOSURE_MINIMUM_SIZE = 9;

} // namespace

SmbiosIdentity SmbiosIdentity::FromTable(std::span<const std::uint8_t> table, std::FILE* trace) {
    SmbiosIdentity identity;
    bool have_system = false;
    bool have_enclosure = false;
    for (const SmbiosStructure& structure : WalkSmbiosTable(table)) {
        // The minimum sizes count strings too, so these bytes lie inside the structure.
        const std::uint8_t* bytes = table.data() + structure.offset;
        auto text = [&](std::size_t at) { return SmbiosString(table, structure, bytes[at]); };
        if (structure.type == SYSTEM_INFORMATION && !have_system) {
            have_system = true;
            if (structure.total_size >= SYSTEM_MINIMUM_SIZE) {
                identity.system_manufacturer = text(4);
                identity.system_product_name = text(5);
                identity.system_version = text(6);
                identity.system_serial_number = text(7);
                identity.system_sku_number = text(25);
            }
        } else if (structure.type == SYSTEM_ENCLOSURE && !have_enclosure) {
            have_enclosure = true;
            if (structure.total_size >= ENCLOSURE_MINIMUM_SIZE) {
                // The whole byte is compared: a set lock bit makes any kind "Desktop".
                identity.chassis_kind = (bytes[5] == 10 || bytes[5] == 14) ? "NoteBook" : "Desktop";
                identity.enclosure_manufacturer = text(4);
                identity.enclosure_version = text(6);
                identity.enclosure_serial_number = text(7);
                identity.enclosure_asset_tag = text(8);
                if (trace != nullptr) {
                    std::fprintf(trace, "m_cAssetTagNumber:%d\n", bytes[8]);
                    for (char c : identity.enclosure_asset_tag) {
                        std::fprintf(trace, "%d ", static_cast<int>(static_cast<signed char>(c)));
                    }
                    if (!identity.enclosure_asset_tag.empty()) {
                        std::fputc('\n', trace);
                    }
                }
            }
        }
        if (have_system && have_enclosure) {
            break;
        }
    }
    return identity;
}

std::string SmbiosIdentity::Text() const {
    return enclosure_asset_tag + enclosure_manufacturer + enclosure_serial_number + chassis_kind +
           enclosure_version + system_manufacturer + system_product_name + system_serial_number +
           system_sku_number + system_version;
}

} // namespace inkwarden

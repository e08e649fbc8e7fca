// machine-id: prints the machine identifier, with --verbose the facts it is made of first.
#include "Subcommands.h"
#include "platform/SystemMachineFacts.h"
#include "telemetry/CPCIDCalculator.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace inkwarden::tool {
namespace {

void PrintText(const char* label, const std::string& text) {
    std::printf("%s: %s\n", label, text.c_str());
}

} // namespace

int MachineIdCommand(int argc, char** argv) {
    bool verbose = false;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--verbose") == 0 || std::strcmp(argv[i], "-v") == 0) {
            verbose = true;
        } else {
            return USAGE_ERROR;
        }
    }
    SystemMachineFacts facts;
    if (verbose) {
        const PcidPieces pieces = CPCIDCalculator::GatherPieces(facts);
        std::string mac;
        for (std::size_t i = 0; i < pieces.mac.size(); ++i) {
            char part[4];
            std::snprintf(part, sizeof part, i == 0 ? "%02X" : "-%02X", pieces.mac[i]);
            mac += part;
        }
        PrintText("mac", mac.empty() ? "(none)" : mac);
        std::printf("mac length: %zu\n", pieces.mac.size());
        std::printf("cpuid length: %zu\n", pieces.cpuid_end - pieces.mac.size());
        if (pieces.smbios) {
            std::printf("smbios length: %zu\n", pieces.buffer.size() - pieces.cpuid_end);
            const SmbiosIdentity& id = *pieces.smbios;
            PrintText("enclosure asset tag", id.enclosure_asset_tag);
            PrintText("enclosure manufacturer", id.enclosure_manufacturer);
            PrintText("enclosure serial number", id.enclosure_serial_number);
            PrintText("chassis kind", id.chassis_kind);
            PrintText("enclosure version", id.enclosure_version);
            PrintText("system manufacturer", id.system_manufacturer);
            PrintText("system product name", id.system_product_name);
            PrintText("system serial number", id.system_serial_number);
            PrintText("system sku number", id.system_sku_number);
            PrintText("system version", id.system_version);
        } else {
            std::printf("smbios length: 0 (firmware tables not readable)\n");
        }
        std::fflush(stdout);
    }
    const std::string id = MachineIdText(facts);
    std::printf("%s\n", id.c_str());
    return 0;
}

} // namespace inkwarden::tool

// Parses arbitrary registry files, reads a value, writes one and reads it back.
#include "platform/RegistryFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto file =
        inkwarden::RegistryFile::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!file) {
        return 0;
    }
    const std::string_view key =
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Inkwarden";
    file->readString(key, "InstallLocation");
    if (!file->setString(key, "InstallLocation", "/opt/Ink \"warden\"\\")) {
        std::abort();
    }
    // What was set must read back, also after a round trip through the bytes.
    auto again = inkwarden::RegistryFile::parse(file->serialize());
    if (!again || again->readString(key, "InstallLocation") != "/opt/Ink \"warden\"\\") {
        std::abort();
    }
    return 0;
}

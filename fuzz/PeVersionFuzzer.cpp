// Feeds arbitrary bytes to the PE reader and the version-block walker.
#include "platform/FileVersion.h"
#include "platform/PeVersionReader.h"
#include "platform/VersionBlock.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    inkwarden::ReadFileVersionFromImage(bytes);
    // The walker alone, so that mutations reach it without a valid image around them.
    inkwarden::VersionBlock(bytes).record();
    return 0;
}

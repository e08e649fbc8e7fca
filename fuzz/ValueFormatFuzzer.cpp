// The plain value formats of attributes: colours, integers, booleans, rectangles, pairs.
#include "ui/markup/ColorFormat.h"
#include "ui/markup/ValueFormats.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace inkwarden;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    volatile std::uint32_t sink = ParseColor(text);
    sink = sink + static_cast<std::uint32_t>(ParseInt(text));
    sink = sink + (ParseBool(text) ? 1u : 0u) + (ParseBoolAnyCase(text) ? 1u : 0u);
    const UiRect rect = ParseRect(text);
    const UiSize pair = ParsePair(text);
    sink = sink + static_cast<std::uint32_t>(rect.left) + static_cast<std::uint32_t>(rect.bottom) +
           static_cast<std::uint32_t>(pair.cx) + static_cast<std::uint32_t>(pair.cy);
    (void)sink;
    return 0;
}

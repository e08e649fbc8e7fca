#include "ui/draw/MarkupTextParser.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// The parser must take any bytes: every character of the input ends up as text or in a tag.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const bool single_line : {true, false}) {
        const auto spans = inkwarden::MarkupTextParser::parse(text, single_line);
        std::size_t total = 0;
        for (const auto& span : spans)
            total += span.text.size();
        // Line breaks are the only text a tag adds, at most one per three input bytes.
        if (total > size + size / 3 + 1)
            __builtin_trap();
    }
    return 0;
}

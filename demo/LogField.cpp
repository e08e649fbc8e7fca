#include "demo/LogField.h"

namespace inkwarden::demo {

std::string EscapeLogField(std::string_view value) {
    static constexpr char HEX[] = "0123456789abcdef";
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\n':
            out += "\\n";
            continue;
        case '\r':
            out += "\\r";
            continue;
        case '\t':
            out += "\\t";
            continue;
        case '\\':
            out += "\\\\";
            continue;
        default:
            break;
        }
        if (byte >= 0x20 && byte < 0x7f) {
            out += c;
        } else {
            out += "\\x";
            out += HEX[byte >> 4];
            out += HEX[byte & 0x0f];
        }
    }
    return out;
}

} // namespace inkwarden::demo

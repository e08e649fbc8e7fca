#include "ui/draw/ImageDescription.h"

#include "ui/markup/ColorFormat.h"
#include "ui/markup/ValueFormats.h"

#include <algorithm>

namespace inkwarden {
namespace {

bool IsBlank(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

} // namespace

void ImageDescription::setText(std::string_view value) {
    clear();
    text.assign(value);
    bool any_pair = false;
    size_t p = 0;
    const size_t n = value.size();
    while (p < n) {
        while (p < n && IsBlank(value[p])) {
            ++p;
        }
        size_t key_start = p;
        while (p < n && value[p] != '=' && !IsBlank(value[p])) {
            ++p;
        }
        std::string_view key = value.substr(key_start, p - key_start);
        while (p < n && IsBlank(value[p])) {
            ++p;
        }
        if (p >= n || value[p] != '=') {
            break;
        }
        ++p;
        while (p < n && IsBlank(value[p])) {
            ++p;
        }
        if (p >= n || value[p] != '\'') {
            break;
        }
        ++p;
        size_t value_start = p;
        while (p < n && value[p] != '\'') {
            ++p;
        }
        if (p >= n) {
            break; // unterminated value: not applied
        }
        std::string_view item = value.substr(value_start, p - value_start);
        ++p;
        any_pair = true;
        if (!item.empty()) {
            if (key == "file") {
                file.assign(item);
            } else if (key == "res") {
                res.assign(item);
            } else if (key == "restype") {
                res_type.assign(item);
            } else if (key == "color") {
                has_color = true;
                color = ParseColor(item);
            } else if (key == "dest") {
                dest = ParseRect(item);
            } else if (key == "source") {
                source = ParseRect(item);
            } else if (key == "corner" || key == "scale9") {
                corner = ParseRect(item);
            } else if (key == "mask") {
                mask = ParseColor(item);
            } else if (key == "fade") {
                fade = std::clamp(ParseInt(item), 0, 255);
            } else if (key == "hole") {
                hole = ParseBool(item);
            } else if (key == "xtiled") {
                xtiled = ParseBool(item);
            } else if (key == "ytiled") {
                ytiled = ParseBool(item);
            } else if (key == "hsl") {
                hsl = ParseBool(item);
            }
        }
        // Only a plain space continues the list; a tab or line break ends it.
        if (p >= n || value[p] != ' ') {
            break;
        }
        ++p;
    }
    if (!any_pair) {
        file.assign(value); // a bare file name
    }
}

} // namespace inkwarden

#include "ui/markup/ValueFormats.h"

#include <cstdlib>
#include <string>

namespace inkwarden {
namespace {

// Reads consecutive integers, each followed by exactly one separator character.
// A view is not NUL-terminated, so the text is copied once.
void ParseIntegers(std::string_view text, int* out, int count) {
    std::string copy(text);
    const char* p = copy.c_str();
    for (int i = 0; i < count; ++i) {
        char* end = nullptr;
        out[i] = static_cast<int>(std::strtol(p, &end, 10));
        p = end;
        if (*p != '\0') {
            ++p; // the one separator
        }
    }
}

} // namespace

int ParseInt(std::string_view text) {
    int value = 0;
    ParseIntegers(text, &value, 1);
    return value;
}

bool ParseBool(std::string_view text) {
    return text == "true";
}

bool ParseBoolAnyCase(std::string_view text) {
    if (text.size() != 4) {
        return false;
    }
    const char* word = "true";
    for (size_t i = 0; i < 4; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != word[i]) {
            return false;
        }
    }
    return true;
}

UiRect ParseRect(std::string_view text) {
    int v[4] = {0, 0, 0, 0};
    ParseIntegers(text, v, 4);
    return UiRect{v[0], v[1], v[2], v[3]};
}

UiSize ParsePair(std::string_view text) {
    int v[2] = {0, 0};
    ParseIntegers(text, v, 2);
    return UiSize{v[0], v[1]};
}

} // namespace inkwarden

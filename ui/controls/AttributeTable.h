#pragma once

#include <cstddef>
#include <string_view>

namespace inkwarden {

// One markup attribute of a control class and the setter that parses its value.
template <typename Control> struct AttributeSetter {
    std::string_view name;
    void (*set)(Control& control, std::string_view value);
};

// Looks the name up in a class's own table and applies it; names compare exactly (case
// matters), as markup writes them. False when the class does not know the name, which then
// goes to the base class.
template <typename Control, std::size_t N>
bool ApplyAttribute(const AttributeSetter<Control> (&table)[N], Control& control,
                    std::string_view name, std::string_view value) {
    for (const AttributeSetter<Control>& entry : table) {
        if (entry.name == name) {
            entry.set(control, value);
            return true;
        }
    }
    return false;
}

} // namespace inkwarden

#pragma once

#include "ui/controls/COptionUI.h"

namespace inkwarden {

// An option that answers "CheckBox".
class CCheckBoxUI : public COptionUI {
public:
    const char* getClass() const override { return "CheckBox"; }
    AccessibleRole getAccessibleRole() const override { return AccessibleRole::CHECK_BOX; }
    void* getInterface(std::string_view name) override {
        if (name == "CheckBox") {
            return this;
        }
        return COptionUI::getInterface(name);
    }
};

} // namespace inkwarden

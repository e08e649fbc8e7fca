#pragma once

#include "ui/controls/CLabelUI.h"

namespace inkwarden {

// Plain text control; a label under its own class name.
class CTextUI : public CLabelUI {
public:
    const char* getClass() const override { return "Text"; }
    void* getInterface(std::string_view name) override {
        if (name == "Text") {
            return this;
        }
        return CLabelUI::getInterface(name);
    }
};

} // namespace inkwarden

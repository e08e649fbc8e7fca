#pragma once

#include "ui/controls/CContainerUI.h"

namespace inkwarden {

// Stacks its children top to bottom.
class CVerticalLayoutUI : public CContainerUI {
public:
    const char* getClass() const override { return "VerticalLayout"; }
    void* getInterface(std::string_view name) override;
    void setPos(UiRect rect, bool invalidate = true) override;
};

} // namespace inkwarden

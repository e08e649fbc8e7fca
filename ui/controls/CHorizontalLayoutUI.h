#pragma once

#include "ui/controls/CContainerUI.h"

namespace inkwarden {

// Puts its children side by side, left to right.
class CHorizontalLayoutUI : public CContainerUI {
public:
    const char* getClass() const override { return "HorizontalLayout"; }
    void* getInterface(std::string_view name) override;
    void setPos(UiRect rect, bool invalidate = true) override;
};

} // namespace inkwarden

#include "ui/controls/CHorizontalLayoutUI.h"

#include "ui/controls/StackLayout.h"

namespace inkwarden {

void* CHorizontalLayoutUI::getInterface(std::string_view name) {
    if (name == "HorizontalLayout") {
        return this;
    }
    return CContainerUI::getInterface(name);
}

void CHorizontalLayoutUI::setPos(UiRect rect, bool invalidate_area) {
    CControlUI::setPos(rect, invalidate_area);
    StackLayout(StackLayout::Axis::HORIZONTAL).arrange(*this);
}

} // namespace inkwarden

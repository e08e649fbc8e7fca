#include "ui/controls/CVerticalLayoutUI.h"

#include "ui/controls/StackLayout.h"

namespace inkwarden {

void* CVerticalLayoutUI::getInterface(std::string_view name) {
    if (name == "VerticalLayout") {
        return this;
    }
    return CContainerUI::getInterface(name);
}

void CVerticalLayoutUI::setPos(UiRect rect, bool invalidate_area) {
    CControlUI::setPos(rect, invalidate_area);
    StackLayout(StackLayout::Axis::VERTICAL).arrange(*this);
}

} // namespace inkwarden

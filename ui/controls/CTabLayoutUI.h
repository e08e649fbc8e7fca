#pragma once

#include "ui/controls/CContainerUI.h"

namespace inkwarden {

// Shows one child (page) at a time.
class CTabLayoutUI : public CContainerUI {
public:
    const char* getClass() const override { return "TabLayout"; }
    void* getInterface(std::string_view name) override;
    // Its pages are page tabs, of which the one on show is selected.
    AccessibleRole getAccessibleRole() const override { return AccessibleRole::PAGE_TAB_LIST; }

    bool add(CControlUI* control) override;
    bool addAt(CControlUI* control, int index) override;
    bool removeAt(int index, bool do_not_destroy = false) override;
    void removeAll() override;
    void setPos(UiRect rect, bool invalidate = true) override;
    void setAttribute(std::string_view name, std::string_view value) override;

    int getCurSel() const { return cur_sel_; }
    // False for an index outside the pages; "tabselect" carries the new and old index.
    bool selectItem(int index, bool notify = true);

private:
    int cur_sel_ = -1;
};

} // namespace inkwarden

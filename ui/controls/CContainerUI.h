#pragma once

#include "ui/controls/AlignmentWords.h"
#include "ui/controls/CControlUI.h"
#include "ui/controls/IContainerUI.h"

#include <memory>
#include <string>
#include <vector>

namespace inkwarden {

// Holds and owns child controls; the base of the layouts.
class CContainerUI : public CControlUI, public IContainerUI {
public:
    // Child alignment takes the platform's text alignment bits.
    static constexpr int ALIGN_LEFT = DT_LEFT;
    static constexpr int ALIGN_CENTER = DT_CENTER;
    static constexpr int ALIGN_RIGHT = DT_RIGHT;
    static constexpr int ALIGN_TOP = DT_TOP;
    static constexpr int ALIGN_VCENTER = DT_VCENTER;
    static constexpr int ALIGN_BOTTOM = DT_BOTTOM;

    CContainerUI() = default;
    ~CContainerUI() override;

    const char* getClass() const override { return "Container"; }
    void* getInterface(std::string_view name) override;
    AccessibleRole getAccessibleRole() const override { return AccessibleRole::PANEL; }

    CControlUI* getItemAt(int index) const override;
    int getItemIndex(CControlUI* control) const override;
    bool setItemIndex(CControlUI* control, int index) override;
    int getCount() const override { return static_cast<int>(items_.size()); }
    bool add(CControlUI* control) override;
    bool addAt(CControlUI* control, int index) override;
    bool remove(CControlUI* control, bool do_not_destroy = false) override;
    bool removeAt(int index, bool do_not_destroy = false) override;
    void removeAll() override;

    void setManager(PaintManager* manager, CControlUI* parent, bool init = true) override;
    void setVisible(bool visible) override;
    void setInternVisible(bool visible) override;
    void setPos(UiRect rect, bool invalidate = true) override;
    void setAttribute(std::string_view name, std::string_view value) override;
    CControlUI* findControl(UiPoint point) override;
    // Its own painting, then every visible child clipped to the inner rectangle (floating
    // children to the item rectangle).
    void doPaint(DrawContext& dc, const UiRect& paint) override;

    const UiRect& getInset() const { return inset_; }
    void setInset(UiRect inset);
    int getChildPadding() const { return child_padding_; }
    void setChildPadding(int padding);
    int getChildAlign() const { return child_align_; }
    int getChildVAlign() const { return child_valign_; }
    bool isMouseChildEnabled() const { return mouse_child_; }
    bool hasVScrollBar() const { return vscrollbar_; }
    bool hasHScrollBar() const { return hscrollbar_; }
    const std::string& getVScrollBarStyle() const { return vscrollbar_style_; }
    const std::string& getHScrollBarStyle() const { return hscrollbar_style_; }

    // The layouts' clamp: raise to lo first, then cut to hi (hi wins when lo > hi).
    static int ClampSize(int v, int lo, int hi) {
        if (v < lo) {
            v = lo;
        }
        if (v > hi) {
            v = hi;
        }
        return v;
    }

    // The item rectangle shrunk by the inset.
    UiRect innerRect() const;
    // Places a floating child by its percentages and fixed position within the item rectangle.
    void setFloatPos(CControlUI* child);

protected:
    std::vector<std::unique_ptr<CControlUI>> items_;

private:
    // Gives a new child its manager and parent and registers its names.
    void adopt(CControlUI* control);
    void alignFromWord(int& align, std::string_view value, const AlignmentWords& words);

    UiRect inset_;
    int child_padding_ = 0;
    int child_align_ = ALIGN_LEFT;
    int child_valign_ = ALIGN_TOP;
    bool mouse_child_ = true;
    bool vscrollbar_ = false;
    bool hscrollbar_ = false;
    std::string vscrollbar_style_;
    std::string hscrollbar_style_;
};

} // namespace inkwarden

#pragma once

#include "ui/controls/CButtonUI.h"

#include <string>

namespace inkwarden {

// A check box or, with a group name, one of a set of exclusive options.
class COptionUI : public CButtonUI {
public:
    COptionUI() = default;
    ~COptionUI() override;

    const char* getClass() const override { return "Option"; }
    void* getInterface(std::string_view name) override;
    void setManager(PaintManager* manager, CControlUI* parent, bool init = true) override;
    void setAttribute(std::string_view name, std::string_view value) override;
    bool activate() override;
    // With a group a radio button, else a toggle button; checked while selected.
    AccessibleRole getAccessibleRole() const override;
    unsigned getAccessibleStates() const override;
    void paintStatusImage(DrawContext& dc) override;
    void paintText(DrawContext& dc) override;

    bool isSelected() const { return selected_; }
    // Selecting a grouped option deselects the rest of its group; "selectchanged" follows
    // when notify is set.
    virtual void selected(bool selected, bool notify = true);
    const std::string& getGroup() const { return group_; }
    void setGroup(std::string_view group);

    const ImageDescription& getSelectedImage() const { return selected_image_; }
    const ImageDescription& getSelectedHotImage() const { return selected_hot_image_; }
    const ImageDescription& getOptionForeImage() const { return fore_image_; }
    std::uint32_t getSelectedBkColor() const { return selected_bk_color_; }
    std::uint32_t getSelectedTextColor() const { return selected_text_color_; }

private:
    void deselectOthers(bool notify);

    bool selected_ = false;
    std::string group_;
    ImageDescription selected_image_;
    ImageDescription selected_hot_image_;
    ImageDescription fore_image_;
    std::uint32_t selected_bk_color_ = 0;
    std::uint32_t selected_text_color_ = 0;
};

} // namespace inkwarden

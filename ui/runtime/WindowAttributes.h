#pragma once

#include "ui/base/UiGeometry.h"
#include "ui/draw/ImageDescription.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace inkwarden {

// The skin's Window attributes: the window's sizes and frame, its layered look, the default
// text colours, and every other name as a named text (the first value per name wins).
class WindowAttributes {
public:
    // Process-wide default colours (AARRGGBB).
    static constexpr std::uint32_t DEFAULT_DISABLED_COLOR = 0xFFA7A6AA;
    static constexpr std::uint32_t DEFAULT_FONT_COLOR = 0xFF000000;
    static constexpr std::uint32_t DEFAULT_LINK_FONT_COLOR = 0xFF0000FF;
    static constexpr std::uint32_t DEFAULT_LINK_HOVER_FONT_COLOR = 0xFFD3215F;
    static constexpr std::uint32_t DEFAULT_SELECTED_BK_COLOR = 0xFFBAE4FF;
    // The focus ring: a dark band with a light line inside shows on any background.
    static constexpr std::uint32_t DEFAULT_FOCUS_RING_COLOR = 0xFF202020;
    static constexpr std::uint32_t DEFAULT_FOCUS_RING_COLOR2 = 0xFFFFFFFF;
    static constexpr int FULL_ALPHA = 255;

    // What setting an attribute asks of the window beyond storing the value.
    enum class Effect {
        NONE,
        RESIZE,        // the initial size changed
        LAYERED_IMAGE, // the window became layered with a new alpha image
    };

    // Names match in any case except "noactivate", "layeredopacity" and "layeredimage".
    Effect set(std::string_view name, std::string_view value);
    // A named attribute that no setter took; empty when there is none.
    std::string get(std::string_view name) const;

    UiSize initSize() const { return init_size_; }
    const UiRect& sizeBox() const { return size_box_; }
    const UiRect& caption() const { return caption_; }
    UiSize roundCorner() const { return round_corner_; }
    UiSize minInfo() const { return min_info_; }
    UiSize maxInfo() const { return max_info_; }
    bool showDirty() const { return show_dirty_; }
    bool noActivate() const { return no_activate_; }
    int opacity() const { return opacity_; }
    bool layered() const { return layered_; }
    int layeredOpacity() const { return layered_opacity_; }
    // Painting loads the image into the description, hence the mutable access.
    ImageDescription& layeredImage() { return layered_image_; }
    const ImageDescription& layeredImage() const { return layered_image_; }
    std::uint32_t disabledColor() const { return disabled_color_; }
    std::uint32_t fontColor() const { return font_color_; }
    std::uint32_t linkColor() const { return link_color_; }
    std::uint32_t linkHoverColor() const { return link_hover_color_; }
    std::uint32_t selectedColor() const { return selected_color_; }
    std::uint32_t focusRingColor() const { return focus_ring_color_; }
    std::uint32_t focusRingColor2() const { return focus_ring_color2_; }

private:
    UiSize init_size_;
    UiRect size_box_;
    UiRect caption_;
    UiSize round_corner_;
    UiSize min_info_;
    UiSize max_info_;
    bool show_dirty_ = false;
    bool no_activate_ = false;
    int opacity_ = FULL_ALPHA;
    bool layered_ = false;
    int layered_opacity_ = FULL_ALPHA;
    ImageDescription layered_image_;
    std::uint32_t disabled_color_ = DEFAULT_DISABLED_COLOR;
    std::uint32_t font_color_ = DEFAULT_FONT_COLOR;
    std::uint32_t link_color_ = DEFAULT_LINK_FONT_COLOR;
    std::uint32_t link_hover_color_ = DEFAULT_LINK_HOVER_FONT_COLOR;
    std::uint32_t selected_color_ = DEFAULT_SELECTED_BK_COLOR;
    std::uint32_t focus_ring_color_ = DEFAULT_FOCUS_RING_COLOR;
    std::uint32_t focus_ring_color2_ = DEFAULT_FOCUS_RING_COLOR2;
    std::vector<std::pair<std::string, std::string>> named_;
};

} // namespace inkwarden

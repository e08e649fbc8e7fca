// An image description (the first line) parsed and drawn as a nine-slice, and attribute
// lists (the rest) applied to one control of every class the builder makes.
#include "ui/controls/CControlUI.h"
#include "ui/controls/DialogBuilder.h"
#include "ui/draw/DrawContext.h"
#include "ui/draw/ImageDescription.h"
#include "ui/draw/ImageDrawing.h"
#include "ui/draw/ImageEntry.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace {

const inkwarden::ImageEntry& TestImage() {
    // 7x5 so that odd corners and sources meet real edges.
    static const inkwarden::ImageEntry image = [] {
        std::array<std::uint8_t, 7 * 5 * 4> rgba{};
        for (std::size_t i = 0; i < rgba.size(); ++i) {
            rgba[i] = static_cast<std::uint8_t>(i * 37);
        }
        return std::move(*inkwarden::ImageEntry::fromRgba(rgba.data(), 7, 5));
    }();
    return image;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace inkwarden;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t line_end = input.find('\n');
    const std::string_view description = input.substr(0, line_end);
    const std::string_view list =
        line_end == std::string_view::npos ? std::string_view() : input.substr(line_end + 1);

    ImageDescription image;
    image.setText(description);
    ImageDrawParams params;
    params.dest = image.dest;
    params.source = image.source;
    params.corner = image.corner;
    params.fade = static_cast<std::uint8_t>(image.fade);
    params.hole = image.hole;
    params.xtiled = image.xtiled;
    params.ytiled = image.ytiled;
    DrawContext dc(24, 16);
    const UiRect item{2, 1, 22, 15};
    DrawImage(dc, item, dc.bounds(), TestImage(), params);

    static const char* const CLASSES[] = {
        "Control",  "Label", "Text",      "Button",         "Option",           "CheckBox",
        "Progress", "Edit",  "Container", "VerticalLayout", "HorizontalLayout", "TabLayout"};
    for (const char* name : CLASSES) {
        std::unique_ptr<CControlUI> control(DialogBuilder::createBuiltIn(name));
        control->applyAttributeList(list);
        (void)control->estimateSize(UiSize{200, 100});
        control->setPos(UiRect{0, 0, 200, 100}, false);
    }
    return 0;
}

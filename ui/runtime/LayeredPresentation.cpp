#include "ui/runtime/LayeredPresentation.h"

#include "ui/runtime/ImageCache.h"
#include "ui/runtime/WindowAttributes.h"

#include <algorithm>

namespace inkwarden {

LayeredPresentation::LayeredPresentation(WindowAttributes& attributes, ImageCache& images)
    : attributes_(attributes), images_(images) {}

LayeredPresentation::~LayeredPresentation() {
    stopRepaintTimer();
}

void LayeredPresentation::bind(INativeWindowLayer* layer, NativeWindowId window) {
    stopRepaintTimer();
    layer_ = layer;
    window_ = window;
    surface_ = DrawContext{};
    image_buffer_ = DrawContext{};
}

bool LayeredPresentation::isActive() const {
    return attributes_.layered() && layer_ != nullptr && window_ != 0 &&
           layer_->supportsPerPixelAlpha(window_);
}

void LayeredPresentation::startRepaintTimer() {
    if (timer_running_ || !isActive()) {
        return;
    }
    timer_running_ = layer_->setTimer(window_, REPAINT_TIMER, REPAINT_MS);
}

void LayeredPresentation::stopRepaintTimer() {
    if (timer_running_ && layer_ != nullptr && layer_->exists(window_)) {
        layer_->killTimer(window_, REPAINT_TIMER);
    }
    timer_running_ = false;
}

void LayeredPresentation::imageChanged() {
    image_buffer_ = DrawContext{};
}

void LayeredPresentation::present(const UiRect& client, const UiRect& area) {
    ImageDescription& image = attributes_.layeredImage();
    if (!image.isEmpty()) {
        // The alpha image only changes with the window's size, scale or the attribute.
        if (!image_buffer_.isValid() || image_buffer_.width() != client.width() ||
            image_buffer_.height() != client.height() ||
            image_buffer_.scale() != surface_.scale()) {
            image_buffer_ = DrawContext(client.width(), client.height(), surface_.scale());
            images_.draw(image_buffer_, client, client, image, nullptr, 255);
        }
        if (image.entry != nullptr && image.entry->hasAlpha()) {
            ApplyAlphaMask(surface_, image_buffer_, area);
        }
    }
    layer_->present(window_, surface_, area, PresentMode::PER_PIXEL,
                    static_cast<std::uint8_t>(attributes_.layeredOpacity()));
}

void LayeredPresentation::ApplyAlphaMask(DrawContext& dc, const DrawContext& mask,
                                         const UiRect& logical_area) {
    const int s = dc.scale();
    const UiRect area = IntersectRect({logical_area.left * s, logical_area.top * s,
                                       logical_area.right * s, logical_area.bottom * s},
                                      {0, 0, std::min(dc.pixelWidth(), mask.pixelWidth()),
                                       std::min(dc.pixelHeight(), mask.pixelHeight())});
    std::uint8_t* dst = dc.data();
    const std::uint8_t* src = mask.data();
    const int dst_stride = dc.stride();
    const int mask_stride = mask.stride();
    for (int y = area.top; y < area.bottom; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(dst + static_cast<size_t>(y) * dst_stride);
        const auto* mrow =
            reinterpret_cast<const std::uint32_t*>(src + static_cast<size_t>(y) * mask_stride);
        for (int x = area.left; x < area.right; ++x) {
            const std::uint32_t a = mrow[x] >> 24;
            if (a == 255) {
                row[x] |= 0xFF000000u;
                continue;
            }
            const std::uint32_t p = row[x];
            const std::uint32_t r = ((p >> 16) & 0xFF) * a / 255;
            const std::uint32_t g = ((p >> 8) & 0xFF) * a / 255;
            const std::uint32_t b = (p & 0xFF) * a / 255;
            row[x] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    dc.markDirty();
}

} // namespace inkwarden

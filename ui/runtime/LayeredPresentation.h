#pragma once

#include "ui/base/UiGeometry.h"
#include "ui/draw/DrawContext.h"
#include "ui/native/INativeWindowLayer.h"

#include <cstdint>

namespace inkwarden {

class ImageCache;
class WindowAttributes;

// The per-pixel-alpha surface of a layered window and its presentation: the tree paints
// into a premultiplied ARGB buffer of the client size, the skin's layered image lends its
// alpha to every painted pixel, and the damaged area goes to the window with the layered
// opacity. Repaints are batched by a window timer instead of one per invalidation. UI
// thread only.
class LayeredPresentation {
public:
    // Batches the layered window's repaints.
    static constexpr std::uintptr_t REPAINT_TIMER = 0x2000;
    static constexpr unsigned REPAINT_MS = 10;

    // Reads the layered attributes as they are at each paint; draws the image through the
    // cache. Both outlive the presentation.
    LayeredPresentation(WindowAttributes& attributes, ImageCache& images);
    ~LayeredPresentation();
    LayeredPresentation(const LayeredPresentation&) = delete;
    LayeredPresentation& operator=(const LayeredPresentation&) = delete;

    // The window presented to: the old window's timer stops and the buffers go.
    void bind(INativeWindowLayer* layer, NativeWindowId window);
    // True when the window is layered and the platform has per-pixel alpha; without it the
    // window stays opaque.
    bool isActive() const;
    // Starts the repaint timer once the window is layered.
    void startRepaintTimer();
    // The layered image changed: drawn again at the next presentation.
    void imageChanged();

    // The buffer the tree paints into; its painter sizes it to the client.
    DrawContext& surface() { return surface_; }
    const DrawContext& surface() const { return surface_; }
    // Lends the layered image's alpha to the painted area and presents that area.
    void present(const UiRect& client, const UiRect& area);

    // Each pixel of the area (logical) takes the mask's alpha: colour x alpha / 255. Both
    // buffers are premultiplied ARGB of the same scale.
    static void ApplyAlphaMask(DrawContext& dc, const DrawContext& mask, const UiRect& area);

private:
    void stopRepaintTimer();

    WindowAttributes& attributes_;
    ImageCache& images_;
    INativeWindowLayer* layer_ = nullptr;
    NativeWindowId window_ = 0;
    bool timer_running_ = false;
    DrawContext surface_;
    DrawContext image_buffer_; // the layered image at the client's size
};

} // namespace inkwarden

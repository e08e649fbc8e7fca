#pragma once

#include "ui/native/headless/HeadlessWindowLayer.h"
#include "ui/runtime/PaintManager.h"

#include <memory>
#include <string>

namespace inkwarden {

// A skin built into a window of the headless layer and painted through its paint manager:
// what the skin render command, the repaint benchmark and pixel tests look at.
class HeadlessSkinView {
public:
    // The window before the skin sizes it: the installer's.
    static constexpr UiSize DEFAULT_SIZE{570, 460};
    // Paints that settle() allows: a layout, the focus it waited for, one to spare.
    static constexpr int MAX_SETTLE_PAINTS = 4;

    // A layer of the caller's (a subclass of the headless layer) may replace the default one.
    explicit HeadlessSkinView(std::unique_ptr<HeadlessWindowLayer> layer = nullptr);
    ~HeadlessSkinView();
    HeadlessSkinView(const HeadlessSkinView&) = delete;
    HeadlessSkinView& operator=(const HeadlessSkinView&) = delete;

    // Builds markup text or a skin file (through the skin package's current settings) into
    // a window of the given client size; an empty size takes the skin's "size".
    bool load(const std::string& source, UiSize size, std::string& error);

    // Device pixels per logical pixel from now on (the layer's scale); layout stays logical.
    void setScale(int scale) { layer_->setScaleFactor(scale); }

    // Delivers WM_PAINT: lays out on the first paint, then paints what is dirty.
    void paint();
    // Paints until nothing is pending (layout, pending focus), at most a few rounds.
    void settle();

    PaintManager& manager() { return *manager_; }
    HeadlessWindowLayer& layer() { return *layer_; }
    NativeWindowId window() const { return window_; }
    template <class T> T* find(const char* name) {
        CControlUI* c = manager_->findControlByName(name);
        return c != nullptr ? dynamic_cast<T*>(c) : nullptr;
    }
    // The presented pixel (premultiplied 0xAARRGGBB, device pixels) and the presented image
    // as PNG.
    std::uint32_t pixel(int x, int y) const { return layer_->presentedPixel(window_, x, y); }
    bool savePng(const std::string& path) const { return layer_->savePresentedPng(window_, path); }

private:
    std::unique_ptr<HeadlessWindowLayer> layer_; // outlives the manager
    std::unique_ptr<PaintManager> manager_;
    NativeWindowId window_ = 0;
};

} // namespace inkwarden

#include "ui/devtools/HeadlessSkinView.h"

#include "ui/controls/CControlUI.h"
#include "ui/controls/DialogBuilder.h"

namespace inkwarden {

HeadlessSkinView::HeadlessSkinView(std::unique_ptr<HeadlessWindowLayer> layer)
    : layer_(layer != nullptr ? std::move(layer) : std::make_unique<HeadlessWindowLayer>()),
      manager_(std::make_unique<PaintManager>()) {}

HeadlessSkinView::~HeadlessSkinView() {
    manager_.reset();
    if (window_ != 0) {
        layer_->destroy(window_);
    }
}

bool HeadlessSkinView::load(const std::string& source, UiSize size, std::string& error) {
    const UiSize initial = size.cx > 0 && size.cy > 0 ? size : DEFAULT_SIZE;
    WindowCreateParams params;
    params.title = "skin";
    params.style = WS_POPUP | WS_VISIBLE;
    params.rect = UiRect{0, 0, initial.cx, initial.cy};
    params.sink = [this](UINT message, WPARAM wparam, LPARAM lparam) -> LRESULT {
        LRESULT result = 0;
        if (window_ != 0 && manager_ != nullptr &&
            manager_->messageHandler(message, wparam, lparam, result)) {
            return result;
        }
        return layer_->defaultProc(window_, message, wparam, lparam);
    };
    window_ = layer_->create(params);
    if (window_ == 0) {
        error = "the window could not be created";
        return false;
    }
    manager_->init(layer_.get(), window_, "skin");
    if (size.cx <= 0 || size.cy <= 0) {
        // The skin's Window size sets the client size, as the window host does.
        manager_->on_resize_window = [this](UiSize s) {
            if (s.cx > 0 && s.cy > 0) {
                layer_->setWindowRect(window_, UiRect{0, 0, s.cx, s.cy});
            }
        };
    }
    DialogBuilder builder;
    CControlUI* root = builder.create(source, nullptr, manager_.get());
    manager_->on_resize_window = nullptr;
    if (root == nullptr) {
        error = builder.lastErrorMessage();
        if (error.empty()) {
            error = "the skin has no controls";
        }
        return false;
    }
    manager_->attachRoot(root);
    return true;
}

void HeadlessSkinView::paint() {
    layer_->send(window_, WM_PAINT, 0, 0);
}

void HeadlessSkinView::settle() {
    for (int i = 0; i < MAX_SETTLE_PAINTS; ++i) {
        paint();
        if (manager_->getDirtyRect().isEmpty() && !manager_->isLayoutNeeded() &&
            !manager_->isUpdateNeeded() && !manager_->isFocusNeeded()) {
            break;
        }
    }
    layer_->pump(); // asynchronous notifications
}

} // namespace inkwarden

#include "ui/runtime/PaintManager.h"

#include "ui/controls/CControlUI.h"
#include "ui/controls/ForEachControl.h"
#include "ui/markup/SkinPackage.h"
#include "ui/runtime/IMessageFilterUI.h"
#include "ui/runtime/INotifyUI.h"

#include <algorithm>
#include <cctype>
#include <chrono>

namespace inkwarden {
namespace {

// Every manager bound to a window, oldest first.
std::vector<PaintManager*>& Managers() {
    static std::vector<PaintManager*> managers;
    return managers;
}

UiPoint PointOf(LPARAM lparam) {
    return UiPoint{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
}

// Alt in the key state of key events, beside MK_SHIFT and MK_CONTROL.
constexpr WPARAM MK_ALT = 0x0020;

// Layout rounds in one paint, for layouts that ask for more layout.
constexpr int MAX_LAYOUT_ROUNDS = 4;

// The lists of notifiers, filters and such hold each member once, in registration order.
template <typename T> void AppendOnce(std::vector<T>& list, T item) {
    if (std::find(list.begin(), list.end(), item) == list.end()) {
        list.push_back(item);
    }
}

std::uint64_t NowMs() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Filters in order; the first that handles the message ends it, with its answer.
bool RunFilters(const std::vector<IMessageFilterUI*>& list, UINT message, WPARAM wparam,
                LPARAM lparam, LRESULT& result) {
    auto filters = list; // a filter may add or remove filters
    for (IMessageFilterUI* filter : filters) {
        bool handled = false;
        const LRESULT answer = filter->messageHandler(message, wparam, lparam, handled);
        if (handled) {
            result = answer;
            return true;
        }
    }
    return false;
}

// Mouse messages whose lParam is a client point: the wheel's is a screen point, and
// mouse-leave carries none.
bool CarriesClientPoint(UINT message) {
    const bool is_mouse = (message >= WM_MOUSEMOVE && message <= WM_MOUSEWHEEL) ||
                          message == WM_MOUSEHOVER || message == WM_MOUSELEAVE;
    return is_mouse && message != WM_MOUSELEAVE && message != WM_MOUSEWHEEL;
}

// The "show dirty" outline: a one-pixel red frame just inside the repainted area.
void OutlineArea(DrawContext& dc, const UiRect& area) {
    cairo_t* cr = dc.cairo();
    cairo_save(cr);
    cairo_set_source_rgba(cr, 1, 0, 0, 1);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, area.left + 0.5, area.top + 0.5, area.width() - 1, area.height() - 1);
    cairo_stroke(cr);
    cairo_restore(cr);
}

// Each pixel of the area (logical) takes the mask's alpha: colour x alpha / 255. Both
// buffers are premultiplied ARGB of the same size and scale.
void ApplyAlphaMask(DrawContext& dc, const DrawContext& mask, const UiRect& logical_area) {
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

} // namespace

PaintManager::PaintManager() = default;

PaintManager::~PaintManager() {
    // The layer lets go of the accessible tree before the controls go.
    offerAccessibility(false);
    // The tree goes first, while the maps its controls reach are still here.
    root_.reset();
    delayed_cleanup_.clear();
    removeAllTimers();
    if (layered_timer_ && layer_ != nullptr && layer_->exists(native_window_)) {
        layer_->killTimer(native_window_, LAYERED_REPAINT_TIMER);
    }
    std::erase(Managers(), this);
}

void PaintManager::init(void* window, std::string_view name) {
    names_.clear();
    option_groups_.clear();
    async_queue_.clear();
    removeAllTimers();
    pre_filters_.clear();
    filters_.clear();
    mouse_leave_.clear();
    focus_ = nullptr;
    hot_ = nullptr;
    pressed_ = nullptr;
    key_pressed_ = nullptr;
    pending_focus_ = nullptr;
    window_ = window;
    name_.assign(name);
    initialised_ = true;
}

bool PaintManager::attachRoot(CControlUI* root) {
    if (root == nullptr) {
        return false;
    }
    focus_ = nullptr;
    hot_ = nullptr;
    pressed_ = nullptr;
    key_pressed_ = nullptr;
    pending_focus_ = nullptr;
    mouse_leave_.clear();
    names_.clear();
    option_groups_.clear();
    root_.reset(root);
    offscreen_ = DrawContext{};
    first_layout_ = true;
    layout_needed_ = true;
    focus_needed_ = true;
    root_->setManager(this, nullptr, true);
    invalidate(root_->getPos());
    return true;
}

void PaintManager::layoutRoot(UiRect client) {
    if (root_ == nullptr) {
        return;
    }
    root_->setPos(client, true);
    layout_needed_ = false;
    update_needed_ = false;
}

void PaintManager::invalidate(UiRect rect) {
    // Clamped the way the platform takes it.
    rect.left = std::max(rect.left, 0);
    rect.top = std::max(rect.top, 0);
    rect.right = std::max(rect.right, rect.left);
    rect.bottom = std::max(rect.bottom, rect.top);
    if (rect.isEmpty()) {
        return;
    }
    if (dirty_.isEmpty()) {
        dirty_ = rect;
    } else {
        dirty_ = UiRect{std::min(dirty_.left, rect.left), std::min(dirty_.top, rect.top),
                        std::max(dirty_.right, rect.right), std::max(dirty_.bottom, rect.bottom)};
    }
    // A layered window is repainted by its timer; any other one asks the platform.
    if (layer_ != nullptr && native_window_ != 0 && !usesLayeredPaint()) {
        layer_->invalidate(native_window_, rect);
    }
}

bool PaintManager::initControl(CControlUI* control) {
    const std::string name = control->getName();
    if (name.empty()) {
        return false;
    }
    return names_.emplace(name, control).second;
}

CControlUI* PaintManager::findControlByName(std::string_view name) const {
    auto it = names_.find(std::string(name));
    return it == names_.end() ? nullptr : it->second;
}

void PaintManager::releaseControl(CControlUI* control) {
    if (focus_ == control) {
        focus_ = nullptr;
    }
    if (hot_ == control) {
        hot_ = nullptr;
    }
    if (pressed_ == control) {
        pressed_ = nullptr;
    }
    if (key_pressed_ == control) {
        key_pressed_ = nullptr;
    }
    if (pending_focus_ == control) {
        pending_focus_ = nullptr;
    }
    std::erase(mouse_leave_, control);
    std::erase_if(native_windows_, [control](const auto& entry) { return entry.first == control; });
    killTimers(control);
    for (auto it = names_.begin(); it != names_.end();) {
        it = it->second == control ? names_.erase(it) : std::next(it);
    }
    for (auto& [group, members] : option_groups_) {
        std::erase(members, control);
    }
    std::erase_if(async_queue_, [control](const Notification& n) { return n.sender == control; });
    accessibility_.forget(control);
}

void PaintManager::addNotifier(INotifyUI* notifier) {
    AppendOnce(notifiers_, notifier);
}

void PaintManager::removeNotifier(INotifyUI* notifier) {
    std::erase(notifiers_, notifier);
}

void PaintManager::sendNotify(CControlUI* sender, std::string_view type, std::intptr_t wparam,
                              std::intptr_t lparam, bool async, bool allow_repeat) {
    Notification msg;
    msg.type.assign(type);
    msg.sender = sender;
    msg.wparam = wparam;
    msg.lparam = lparam;
    sendNotify(msg, async, allow_repeat);
}

void PaintManager::deliver(Notification& msg) {
    if (msg.sender != nullptr) {
        // Copy: a handler may attach further handlers.
        auto handlers = msg.sender->on_notify;
        for (auto& handler : handlers) {
            handler(msg);
        }
    }
    auto notifiers = notifiers_;
    for (INotifyUI* notifier : notifiers) {
        notifier->notify(msg);
    }
}

void PaintManager::sendNotify(Notification& msg, bool async, bool allow_repeat) {
    if (msg.sender != nullptr && msg.sender->getManager() == nullptr) {
        return; // nobody to tell
    }
    msg.timestamp = layer_ != nullptr ? layer_->tickCount() : NowMs();
    msg.point = last_mouse_;
    if (!async) {
        // Synchronous sends nest: a notification sent from a handler is delivered at once.
        deliver(msg);
        return;
    }
    if (!allow_repeat) {
        for (Notification& queued : async_queue_) {
            if (queued.sender == msg.sender && queued.type == msg.type) {
                queued.wparam = msg.wparam;
                queued.lparam = msg.lparam;
                queued.timestamp = msg.timestamp;
                queued.point = msg.point;
                return;
            }
        }
    }
    async_queue_.push_back(msg);
    postAsyncNotify();
}

void PaintManager::postAsyncNotify() {
    // One post until the queue has been delivered.
    if (!async_posted_ && layer_ != nullptr && native_window_ != 0) {
        async_posted_ = layer_->post(native_window_, MSG_ASYNC_NOTIFY, 0, 0);
    }
}

void PaintManager::deliverAsyncNotifications() {
    while (!async_queue_.empty()) {
        Notification msg = async_queue_.front();
        async_queue_.erase(async_queue_.begin());
        deliver(msg);
    }
}

void PaintManager::addOptionGroup(const std::string& group, CControlUI* control) {
    auto& members = option_groups_[group];
    AppendOnce(members, control);
}

void PaintManager::removeOptionGroup(const std::string& group, CControlUI* control) {
    auto it = option_groups_.find(group);
    if (it == option_groups_.end()) {
        return;
    }
    std::erase(it->second, control);
    if (it->second.empty()) {
        option_groups_.erase(it);
    }
}

const std::vector<CControlUI*>* PaintManager::getOptionGroup(const std::string& group) const {
    auto it = option_groups_.find(group);
    return it == option_groups_.end() ? nullptr : &it->second;
}

FontEntry* PaintManager::addFont(int id, const std::string& face, int size, bool bold,
                                 bool underline, bool italic, bool shared) {
    return resources_.addFont(id, face, size, bold, underline, italic, shared);
}

void PaintManager::declareFont(int id, const std::string& face, int size, bool bold, bool underline,
                               bool italic, bool shared) {
    resources_.declareFont(id, face, size, bold, underline, italic, shared);
}

void PaintManager::setDefaultFont(const std::string& face, int size, bool bold, bool underline,
                                  bool italic, bool shared) {
    resources_.setDefaultFont(face, size, bold, underline, italic, shared);
}

FontEntry* PaintManager::getFont(int id) {
    return resources_.getFont(id);
}

FontEntry* PaintManager::getDefaultFont() {
    return resources_.getDefaultFont();
}

void PaintManager::removeAllSharedFonts() {
    ResourceRegistry::removeAllSharedFonts();
}

void PaintManager::addImage(const std::string& name, const std::string& res_type,
                            std::uint32_t mask, bool shared) {
    resources_.addImage(name, res_type, mask, shared);
}

const PaintManager::ImageRegistration* PaintManager::getImage(const std::string& name) const {
    return resources_.getImage(name);
}

void PaintManager::addDefaultAttributeList(const std::string& control_class,
                                           const std::string& list, bool shared) {
    resources_.addDefaultAttributeList(control_class, list, shared);
}

const std::string* PaintManager::getDefaultAttributeList(const std::string& control_class) const {
    return resources_.getDefaultAttributeList(control_class);
}

void PaintManager::removeAllSharedDefaultAttributeLists() {
    ResourceRegistry::removeAllSharedDefaultAttributeLists();
}

void PaintManager::setWindowAttribute(std::string_view name, std::string_view value) {
    switch (attributes_.set(name, value)) {
    case WindowAttributes::Effect::RESIZE:
        // Before a tree is attached the window takes the skin's size at once.
        if (root_ == nullptr && on_resize_window) {
            on_resize_window(attributes_.initSize());
        }
        break;
    case WindowAttributes::Effect::LAYERED_IMAGE:
        // The alpha image is drawn again, and the layered window repaints by its timer.
        layered_image_buffer_ = DrawContext{};
        startLayeredTimer();
        break;
    case WindowAttributes::Effect::NONE:
        break;
    }
}

std::string PaintManager::getWindowAttribute(std::string_view name) const {
    return attributes_.get(name);
}

void PaintManager::setMultiLanguageString(int id, const std::string& text) {
    ResourceRegistry::setText(id, text);
}

const std::string* PaintManager::getMultiLanguageString(int id) {
    return ResourceRegistry::getText(id);
}

void PaintManager::removeAllMultiLanguageStrings() {
    ResourceRegistry::removeAllTexts();
}

void PaintManager::setResourcePath(const std::string& path) {
    SkinPackage::setResourcePath(path);
}

std::string PaintManager::getResourcePath() {
    return SkinPackage::resourcePath();
}

void PaintManager::setResourceZip(const std::string& file_name, bool cached) {
    SkinPackage::setResourceZip(file_name, cached);
}

void PaintManager::setResourceZipMemory(std::span<const unsigned char> bytes) {
    SkinPackage::setResourceZipMemory(bytes);
}

std::string PaintManager::getResourceZip() {
    return SkinPackage::resourceZipName();
}

// Window runtime.
void PaintManager::init(INativeWindowLayer* layer, NativeWindowId window, std::string_view name) {
    offerAccessibility(false);
    init(static_cast<void*>(nullptr), name);
    if (layered_timer_ && layer_ != nullptr && layer_->exists(native_window_)) {
        layer_->killTimer(native_window_, LAYERED_REPAINT_TIMER);
    }
    layered_timer_ = false;
    async_posted_ = false;
    layer_ = layer;
    native_window_ = window;
    timers_.bind(layer, window);
    offscreen_ = DrawContext{};
    layered_buffer_ = DrawContext{};
    layered_image_buffer_ = DrawContext{};
    auto& managers = Managers();
    AppendOnce(managers, this);
    startLayeredTimer();
    offerAccessibility(true);
}

void PaintManager::offerAccessibility(bool offered) {
    if (layer_ != nullptr && native_window_ != 0 && layer_->exists(native_window_)) {
        layer_->setAccessibleTree(native_window_, offered ? &accessibility_ : nullptr);
    }
}

int PaintManager::getScale() const {
    if (layer_ == nullptr || native_window_ == 0) {
        return 1;
    }
    return std::clamp(layer_->scaleFactor(native_window_), 1, DrawContext::MAX_SCALE);
}

void PaintManager::startLayeredTimer() {
    if (layered_timer_ || !usesLayeredPaint()) {
        return;
    }
    layered_timer_ = layer_->setTimer(native_window_, LAYERED_REPAINT_TIMER, LAYERED_REPAINT_MS);
}

bool PaintManager::usesLayeredPaint() const {
    // Without per-pixel alpha on this platform the window stays opaque.
    return attributes_.layered() && layer_ != nullptr && native_window_ != 0 &&
           layer_->supportsPerPixelAlpha(native_window_);
}

const DrawContext& PaintManager::getPaintBuffer() const {
    return usesLayeredPaint() ? layered_buffer_ : offscreen_;
}

UiRect PaintManager::clientRect() const {
    if (layer_ != nullptr && native_window_ != 0) {
        return layer_->clientRect(native_window_);
    }
    return root_ != nullptr ? root_->getPos() : UiRect{};
}

WPARAM PaintManager::keyState() const {
    return (shift_down_ ? MK_SHIFT : 0) | (control_down_ ? MK_CONTROL : 0) |
           (alt_down_ ? MK_ALT : 0);
}

void PaintManager::trackKey(UINT message, WPARAM wparam) {
    const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
    const bool up = message == WM_KEYUP || message == WM_SYSKEYUP;
    if (!down && !up) {
        return;
    }
    if (wparam == VK_SHIFT) {
        shift_down_ = down;
    } else if (wparam == VK_CONTROL) {
        control_down_ = down;
    } else if (wparam == VK_MENU) {
        alt_down_ = down;
    }
}

UiEvent PaintManager::makeEvent(UiEventKind kind, CControlUI* sender, UiPoint point, WPARAM wparam,
                                LPARAM lparam, WPARAM key_state) const {
    UiEvent event;
    event.kind = kind;
    event.sender = sender;
    event.timestamp = layer_ != nullptr ? layer_->tickCount() : static_cast<std::uint32_t>(NowMs());
    event.point = point;
    event.wparam = wparam;
    event.lparam = lparam;
    event.key_state = key_state;
    return event;
}

UiEvent PaintManager::makeKeyEvent(UiEventKind kind, CControlUI* sender, WPARAM wparam,
                                   LPARAM lparam) const {
    UiEvent event = makeEvent(kind, sender, last_mouse_, wparam, lparam, keyState());
    event.character = static_cast<char32_t>(wparam);
    return event;
}

void PaintManager::sendEvent(CControlUI* control, UiEvent event) {
    if (control != nullptr) {
        event.sender = control;
        control->handleEvent(event);
    }
}

void PaintManager::addPreMessageFilter(IMessageFilterUI* filter) {
    AppendOnce(pre_filters_, filter);
}

void PaintManager::removePreMessageFilter(IMessageFilterUI* filter) {
    std::erase(pre_filters_, filter);
}

void PaintManager::addMessageFilter(IMessageFilterUI* filter) {
    AppendOnce(filters_, filter);
}

void PaintManager::removeMessageFilter(IMessageFilterUI* filter) {
    std::erase(filters_, filter);
}

bool PaintManager::translateMessage(const NativeMessage& msg) {
    auto managers = Managers(); // a handler may create or destroy windows
    for (PaintManager* manager : managers) {
        if (manager->native_window_ == msg.window) {
            // A top-level window: its first manager decides.
            manager->trackKey(msg.message, msg.wparam);
            LRESULT result = 0;
            return manager->preMessageHandler(msg.message, msg.wparam, msg.lparam, result);
        }
    }
    // A child window (such as an edit field): every manager up its parent chain looks,
    // newest first; the message still goes to the child.
    for (auto it = managers.rbegin(); it != managers.rend(); ++it) {
        PaintManager* manager = *it;
        if (manager->layer_ == nullptr) {
            continue;
        }
        for (NativeWindowId w = manager->layer_->parentOf(msg.window); w != 0;
             w = manager->layer_->parentOf(w)) {
            if (w == manager->native_window_) {
                manager->trackKey(msg.message, msg.wparam);
                LRESULT result = 0;
                manager->preMessageHandler(msg.message, msg.wparam, msg.lparam, result);
                break;
            }
        }
    }
    return false;
}

bool PaintManager::preMessageHandler(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    if (RunFilters(pre_filters_, message, wparam, lparam, result)) {
        return true;
    }
    switch (message) {
    case WM_KEYDOWN:
        return onTabKey(wparam);
    case WM_SYSKEYDOWN:
        return onSysKeyDown(wparam, lparam);
    case WM_SYSCHAR:
        return onSysChar(wparam);
    default:
        return false;
    }
}

bool PaintManager::onTabKey(WPARAM wparam) {
    if (wparam != VK_TAB) {
        return false;
    }
    showFocusRing(true);
    focusNext(!shift_down_);
    return true;
}

bool PaintManager::onSysKeyDown(WPARAM wparam, LPARAM lparam) {
    if (focus_ != nullptr) {
        sendEvent(focus_, makeKeyEvent(UiEventKind::SYSKEY, focus_, wparam, lparam));
    }
    return false;
}

bool PaintManager::onSysChar(WPARAM wparam) {
    // The control whose shortcut is the typed character takes focus and activates; hidden
    // and disabled subtrees are passed over.
    if (root_ == nullptr) {
        return false;
    }
    const char wanted = static_cast<char>(std::toupper(static_cast<unsigned char>(wparam)));
    CControlUI* found = nullptr;
    ForEachControl(root_.get(), [&](CControlUI* c) {
        if (!c->isVisible() || !c->isEnabled()) {
            return VisitResult::SKIP_CHILDREN;
        }
        if (c->getShortcut() != 0 &&
            std::toupper(static_cast<unsigned char>(c->getShortcut())) == wanted) {
            found = c;
            return VisitResult::STOP;
        }
        return VisitResult::CONTINUE;
    });
    if (found == nullptr) {
        return false;
    }
    setFocusByKeyboard(found);
    found->activate();
    return true;
}

bool PaintManager::messageHandler(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    if (runMessageFilters(message, wparam, lparam, result) ||
        onLayeredFrame(message, wparam, result)) {
        return true;
    }
    trackKey(message, wparam);
    switch (message) {
    case WM_CLOSE:
        return onClose();
    case WM_ERASEBKGND:
        return onEraseBackground(result);
    case WM_PAINT:
        return onPaint(result);
    case WM_SIZE:
        return onSize(wparam, lparam, result);
    case WM_TIMER:
        return onTimer(wparam, lparam);
    case WM_MOUSEMOVE:
        return onMouseMove(wparam, lparam);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
        return onButtonDown(message, wparam, lparam);
    case WM_LBUTTONUP:
        return onButtonUp(wparam, lparam);
    case WM_CONTEXTMENU:
        return onContextMenu(wparam, lparam);
    case WM_MOUSEWHEEL:
        return onMouseWheel(wparam, lparam);
    case WM_MOUSEHOVER:
        return onMouseHover(wparam);
    case WM_MOUSELEAVE:
        return onMouseLeave();
    case WM_KEYUP:
        return onKeyUp(wparam, lparam);
    case WM_KEYDOWN:
    case WM_CHAR:
        return onKeyDownOrChar(message, wparam, lparam);
    case WM_SETCURSOR:
        return onSetCursor(wparam, lparam, result);
    case WM_MOUSEACTIVATE:
        return onMouseActivate(result);
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
        return onChildNotification(message, wparam, lparam, result);
    case WM_KILLFOCUS:
        return onKillFocus(wparam);
    case MSG_ASYNC_NOTIFY:
        return onAsyncNotify(result);
    case WM_DPICHANGED:
        return onDpiChanged(result);
    default:
        return false;
    }
}

bool PaintManager::runMessageFilters(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    if (!RunFilters(filters_, message, wparam, lparam, result)) {
        return false;
    }
    // A filter that takes a mouse message still moves the last mouse position.
    if (CarriesClientPoint(message)) {
        last_mouse_ = PointOf(lparam);
    }
    return true;
}

bool PaintManager::onLayeredFrame(UINT message, WPARAM wparam, LRESULT& result) {
    // A layered window has no frame of its own: its non-client messages are answered here.
    if (!usesLayeredPaint()) {
        return false;
    }
    if (message == WM_NCCALCSIZE || message == WM_NCPAINT) {
        result = 0;
        return true;
    }
    if (message == WM_NCACTIVATE && !isMinimized()) {
        result = wparam == 0 ? 1 : 0;
        return true;
    }
    return false;
}

bool PaintManager::onClose() {
    // Let go of the mouse and the focus, hand the keyboard back to the owner, drop the
    // tooltip; the window then closes normally.
    if (hot_ != nullptr) {
        sendEvent(hot_, makeEvent(UiEventKind::MOUSELEAVE, hot_, last_mouse_));
        hot_ = nullptr;
    }
    releasePressed(UiEventKind::BUTTONUP, last_mouse_, 0, 0, 0);
    setFocus(nullptr, false);
    if (layer_ != nullptr && layer_->focus() == native_window_) {
        const NativeWindowId owner = layer_->parentOf(native_window_);
        if (owner != 0) {
            layer_->setFocus(owner);
        }
    }
    hideTooltip();
    return false;
}

bool PaintManager::onEraseBackground(LRESULT& result) {
    // Everything is painted on WM_PAINT.
    result = 1;
    return true;
}

bool PaintManager::onPaint(LRESULT& result) {
    paint();
    result = 0;
    return true;
}

bool PaintManager::onSize(WPARAM wparam, LPARAM lparam, LRESULT& result) {
    // The focused control hears of the new size; the whole tree is laid out again.
    if (focus_ != nullptr) {
        sendEvent(focus_, makeEvent(UiEventKind::WINDOWSIZE, focus_, last_mouse_, wparam, lparam,
                                    keyState()));
    }
    if (root_ != nullptr) {
        root_->needUpdate();
    }
    layout_needed_ = true;
    invalidateAll();
    result = 0;
    return true;
}

bool PaintManager::onTimer(WPARAM wparam, LPARAM lparam) {
    if (wparam == LAYERED_REPAINT_TIMER && usesLayeredPaint()) {
        // Layered repaints are batched: what became dirty since the last tick is painted.
        if (!dirty_.isEmpty() && !isMinimized()) {
            paint();
        }
        return false;
    }
    if (const TimerEntry* timer = timers_.findRunning(wparam)) {
        CControlUI* control = timer->control;
        const UINT key = timer->key;
        sendEvent(control,
                  makeEvent(UiEventKind::TIMER, control, last_mouse_, key, lparam, keyState()));
    }
    return false;
}

bool PaintManager::onMouseMove(WPARAM wparam, LPARAM lparam) {
    // Hover and leave are tracked from the first move on.
    if (!mouse_tracking_ && layer_ != nullptr) {
        layer_->trackMouse(native_window_, hover_time_);
        mouse_tracking_ = true;
    }
    const UiPoint pt = PointOf(lparam);
    last_mouse_ = pt;
    CControlUI* under = findControl(pt);
    if (under != nullptr && under->getManager() != this) {
        return false; // another manager's control
    }
    if (!captured_ && under != hot_) {
        changeHot(under, pt, wparam);
    }
    // The pressed control follows the mouse wherever it goes.
    CControlUI* target = pressed_ != nullptr ? pressed_ : under;
    if (target != nullptr) {
        sendEvent(target, makeEvent(UiEventKind::MOUSEMOVE, target, pt, 0, 0, wparam));
    }
    return false;
}

void PaintManager::changeHot(CControlUI* under, UiPoint point, WPARAM key_state) {
    if (hot_ != nullptr || !mouse_leave_.empty()) {
        if (hot_ != nullptr) {
            sendEvent(hot_, makeEvent(UiEventKind::MOUSELEAVE, hot_, point, 0, 0, key_state));
        }
        auto leaving = mouse_leave_; // a handler may change the list
        for (CControlUI* c : leaving) {
            if (c != hot_) {
                sendEvent(c, makeEvent(UiEventKind::MOUSELEAVE, c, point, 0, 0, key_state));
            }
        }
        hot_ = nullptr;
        hideTooltip();
    }
    if (under != nullptr) {
        hot_ = under;
        sendEvent(under, makeEvent(UiEventKind::MOUSEENTER, under, point, 0, 0, key_state));
    }
}

bool PaintManager::onButtonDown(UINT message, WPARAM wparam, LPARAM lparam) {
    // A click activates the window unless it is marked not to.
    if (!attributes_.noActivate() && layer_ != nullptr && layer_->focus() != native_window_) {
        layer_->setFocus(native_window_);
    }
    const UiPoint pt = PointOf(lparam);
    last_mouse_ = pt;
    // The mouse has taken over: the focus no longer shows its ring.
    showFocusRing(false);
    CControlUI* control = findControl(pt);
    if (control == nullptr || control->getManager() != this) {
        return false;
    }
    switch (message) {
    case WM_LBUTTONDOWN:
        pressed_ = control;
        setFocus(control, true);
        setCapture();
        sendEvent(control, makeEvent(UiEventKind::BUTTONDOWN, control, pt, wparam, lparam, wparam));
        break;
    case WM_LBUTTONDBLCLK:
        // A double click does not move the focus.
        pressed_ = control;
        setCapture();
        sendEvent(control, makeEvent(UiEventKind::DBLCLICK, control, pt, wparam, lparam, wparam));
        break;
    default:
        // The right button presses without capturing the mouse.
        setFocus(control, true);
        sendEvent(control,
                  makeEvent(UiEventKind::RBUTTONDOWN, control, pt, wparam, lparam, wparam));
        pressed_ = control;
        break;
    }
    return false;
}

bool PaintManager::onButtonUp(WPARAM wparam, LPARAM lparam) {
    const UiPoint pt = PointOf(lparam);
    last_mouse_ = pt;
    releaseCapture();
    releasePressed(UiEventKind::BUTTONUP, pt, wparam, lparam, wparam);
    return false;
}

bool PaintManager::onContextMenu(WPARAM wparam, LPARAM lparam) {
    releasePressed(UiEventKind::CONTEXTMENU, last_mouse_, wparam, lparam, keyState());
    return false;
}

void PaintManager::releasePressed(UiEventKind kind, UiPoint point, WPARAM wparam, LPARAM lparam,
                                  WPARAM key_state) {
    if (pressed_ == nullptr) {
        return;
    }
    // Forgotten first: the event may press something else.
    CControlUI* pressed = pressed_;
    pressed_ = nullptr;
    sendEvent(pressed, makeEvent(kind, pressed, point, wparam, lparam, key_state));
}

bool PaintManager::onMouseWheel(WPARAM wparam, LPARAM lparam) {
    // Wheel positions are screen points; the last client position is the one used.
    CControlUI* control = findControl(last_mouse_);
    if (control == nullptr || control->getManager() != this) {
        return false;
    }
    const WPARAM towards_user = GET_WHEEL_DELTA_WPARAM(wparam) < 0 ? 1 : 0;
    sendEvent(control, makeEvent(UiEventKind::SCROLLWHEEL, control, last_mouse_, towards_user,
                                 lparam, LOWORD(wparam)));
    // The content may have moved under the mouse.
    LRESULT ignored = 0;
    messageHandler(WM_MOUSEMOVE, 0, MAKELPARAM(last_mouse_.x, last_mouse_.y), ignored);
    return false;
}

bool PaintManager::onMouseHover(WPARAM wparam) {
    if (hot_ == nullptr) {
        return false;
    }
    if (!hot_->getToolTip().empty() && layer_ != nullptr) {
        layer_->showTooltip(native_window_, hot_->getToolTip(), last_mouse_);
        tooltip_shown_ = true;
    }
    sendEvent(hot_, makeEvent(UiEventKind::MOUSEHOVER, hot_, last_mouse_, 0, 0, wparam));
    return false;
}

bool PaintManager::onMouseLeave() {
    hideTooltip();
    if (!mouse_tracking_) {
        return false;
    }
    mouse_tracking_ = false;
    // Still over the client area (a native child took the mouse): move there. Otherwise a
    // move outside the window ends the hot state.
    UiPoint pt{-1, -1};
    if (layer_ != nullptr && layer_->focus() == native_window_) {
        const UiPoint cursor = layer_->cursorPosition(native_window_);
        if (clientRect().contains(cursor)) {
            pt = cursor;
        }
    }
    LRESULT ignored = 0;
    messageHandler(WM_MOUSEMOVE, 0, MAKELPARAM(pt.x, pt.y), ignored);
    // Tracking starts again with the next real move.
    mouse_tracking_ = false;
    return false;
}

bool PaintManager::onKeyUp(WPARAM wparam, LPARAM lparam) {
    // Key-up goes to the control that got the key-down, wherever the focus is now.
    if (key_pressed_ == nullptr) {
        return false;
    }
    CControlUI* control = key_pressed_;
    key_pressed_ = nullptr;
    sendEvent(control, makeKeyEvent(UiEventKind::KEYUP, control, wparam, lparam));
    return false;
}

bool PaintManager::onKeyDownOrChar(UINT message, WPARAM wparam, LPARAM lparam) {
    if (focus_ == nullptr) {
        return false;
    }
    CControlUI* control = focus_;
    const UiEventKind kind = message == WM_KEYDOWN ? UiEventKind::KEYDOWN : UiEventKind::CHAR;
    const UiEvent event = makeKeyEvent(kind, control, wparam, lparam);
    if (message == WM_KEYDOWN) {
        key_pressed_ = control;
    }
    sendEvent(control, event);
    return false;
}

bool PaintManager::onSetCursor(WPARAM wparam, LPARAM lparam, LRESULT& result) {
    // Client area only, and not while the mouse is captured.
    if (LOWORD(static_cast<std::uintptr_t>(lparam)) != HTCLIENT || captured_ || layer_ == nullptr) {
        return false;
    }
    const UiPoint pt = layer_->cursorPosition(native_window_);
    CControlUI* control = findControl(pt);
    if (control == nullptr || (control->getControlFlags() & CControlUI::FLAG_SET_CURSOR) == 0) {
        return false;
    }
    sendEvent(control, makeEvent(UiEventKind::SETCURSOR, control, pt, wparam, lparam, keyState()));
    result = 1;
    return true;
}

bool PaintManager::onMouseActivate(LRESULT& result) {
    if (!attributes_.noActivate()) {
        return false;
    }
    result = MA_NOACTIVATE;
    return true;
}

bool PaintManager::onChildNotification(UINT message, WPARAM wparam, LPARAM lparam,
                                       LRESULT& result) {
    // Reflected to the native child that sent it: that is how an edit field gets its colours.
    const auto child = static_cast<NativeWindowId>(lparam);
    if (child == 0 || layer_ == nullptr || !isOwnNativeWindow(child)) {
        return false;
    }
    result = layer_->send(child, OCM_BASE + message, wparam, lparam);
    return true;
}

bool PaintManager::onKillFocus(WPARAM wparam) {
    // Focus went to one of our native children: its control is the focused one.
    const auto to = static_cast<NativeWindowId>(wparam);
    if (CControlUI* owner = getNativeWindowOwner(to)) {
        if (owner != focus_) {
            setFocus(owner, false);
        }
    }
    return false;
}

bool PaintManager::onAsyncNotify(LRESULT& result) {
    // Queued notifications first, then the controls that waited for them to be deleted.
    async_posted_ = false;
    deliverAsyncNotifications();
    delayed_cleanup_.clear();
    result = 0;
    return true;
}

bool PaintManager::onDpiChanged(LRESULT& result) {
    // Layout stays as it is; the next paint makes buffers of the new scale and repaints all.
    invalidateAll();
    result = 0;
    return true;
}

void PaintManager::hideTooltip() {
    if (tooltip_shown_ && layer_ != nullptr) {
        layer_->hideTooltip(native_window_);
        tooltip_shown_ = false;
    }
}

bool PaintManager::isMinimized() const {
    return layer_ != nullptr && layer_->isMinimized(native_window_);
}

bool PaintManager::isOwnNativeWindow(NativeWindowId window) const {
    for (const auto& [control, id] : native_windows_) {
        if (id == window) {
            return true;
        }
    }
    return layer_ != nullptr && layer_->exists(window) &&
           layer_->parentOf(window) == native_window_;
}

CControlUI* PaintManager::findControl(UiPoint point) const {
    return root_ != nullptr ? root_->findControl(point) : nullptr;
}

bool PaintManager::setTimer(CControlUI* control, UINT key, UINT elapse) {
    return timers_.set(control, key, elapse);
}

bool PaintManager::killTimer(CControlUI* control, UINT key) {
    return timers_.kill(control, key);
}

void PaintManager::killTimers(CControlUI* control) {
    timers_.killAll(control);
}

void PaintManager::removeAllTimers() {
    timers_.removeAll();
}

void PaintManager::setFocus(CControlUI* control, bool focus_window) {
    if (focus_window && layer_ != nullptr && native_window_ != 0 && !attributes_.noActivate() &&
        control != focus_ && layer_->focus() != native_window_) {
        layer_->setFocus(native_window_);
    }
    if (control == focus_) {
        return;
    }
    if (focus_ring_shown_) {
        // The ring leaves the old control and comes to the new one.
        invalidate(focusRingRect(focus_));
        invalidate(focusRingRect(control));
    }
    if (focus_ != nullptr) {
        CControlUI* old = focus_;
        focus_ = nullptr;
        sendEvent(old, makeEvent(UiEventKind::KILLFOCUS, old, last_mouse_));
        old->setFocusedFlag(false);
        sendNotify(old, "killfocus");
    }
    if (control != nullptr && control->getManager() == this && control->isVisible() &&
        control->isEnabled()) {
        focus_ = control;
        sendEvent(control, makeEvent(UiEventKind::SETFOCUS, control, last_mouse_));
        control->setFocusedFlag(true);
        sendNotify(control, "setfocus");
    }
}

void PaintManager::setFocusByKeyboard(CControlUI* control) {
    showFocusRing(true);
    setFocus(control, true);
}

void PaintManager::showFocusRing(bool shown) {
    if (focus_ring_shown_ == shown) {
        return;
    }
    focus_ring_shown_ = shown;
    invalidate(focusRingRect(focus_));
}

UiRect PaintManager::focusRingRect(const CControlUI* control) {
    if (control == nullptr) {
        return {};
    }
    const UiRect& r = control->getPos();
    return {r.left - FOCUS_RING_OUTSET, r.top - FOCUS_RING_OUTSET, r.right + FOCUS_RING_OUTSET,
            r.bottom + FOCUS_RING_OUTSET};
}

void PaintManager::paintFocusRing(DrawContext& dc, const UiRect& area) {
    if (!focus_ring_shown_ || focus_ == nullptr || !focus_->isVisible() ||
        focus_->getPos().isEmpty()) {
        return;
    }
    const UiRect outer = focusRingRect(focus_);
    if (IntersectRect(outer, area).isEmpty()) {
        return;
    }
    // Two frames filled with the even-odd rule: whole pixels at every scale.
    const UiRect middle{outer.left + FOCUS_RING_OUTSET - FOCUS_RING_INNER,
                        outer.top + FOCUS_RING_OUTSET - FOCUS_RING_INNER,
                        outer.right - FOCUS_RING_OUTSET + FOCUS_RING_INNER,
                        outer.bottom - FOCUS_RING_OUTSET + FOCUS_RING_INNER};
    const UiRect inner = focus_->getPos();
    cairo_t* cr = dc.cairo();
    cairo_save(cr);
    cairo_rectangle(cr, area.left, area.top, area.width(), area.height());
    cairo_clip(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    const std::pair<UiRect, UiRect> bands[] = {{outer, middle}, {middle, inner}};
    const std::uint32_t colors[] = {attributes_.focusRingColor(), attributes_.focusRingColor2()};
    for (int i = 0; i < 2; ++i) {
        const auto& [from, to] = bands[i];
        cairo_new_path(cr);
        cairo_rectangle(cr, from.left, from.top, from.width(), from.height());
        cairo_rectangle(cr, to.left, to.top, to.width(), to.height());
        SetSourceArgb(cr, colors[i]);
        cairo_fill(cr);
    }
    cairo_restore(cr);
}

void PaintManager::setFocusNeeded(CControlUI* control) {
    pending_focus_ = control;
    focus_needed_ = true;
    invalidateAll();
}

bool PaintManager::focusNext(bool forward) {
    if (root_ == nullptr) {
        return false;
    }
    // While the tree is being laid out, focus waits for the next paint.
    if (forward && (layout_needed_ || update_needed_)) {
        focus_needed_ = true;
        invalidateAll();
        return true;
    }
    // Visible, enabled controls in tree order; tab stops among them are candidates.
    std::vector<CControlUI*> order;
    ForEachControl(root_.get(), [&order](CControlUI* c) {
        if (!c->isVisible() || !c->isEnabled()) {
            return VisitResult::SKIP_CHILDREN;
        }
        order.push_back(c);
        return VisitResult::CONTINUE;
    });
    auto is_stop = [](CControlUI* c) {
        return (c->getControlFlags() & CControlUI::FLAG_TAB_STOP) != 0 && c->isKeyboardEnabled();
    };
    const auto at = std::find(order.begin(), order.end(), focus_);
    const long n = static_cast<long>(order.size());
    const long start = at == order.end() ? (forward ? -1 : n) : at - order.begin();
    CControlUI* next = nullptr;
    for (long step = 1; step <= n && next == nullptr; ++step) {
        long i = forward ? start + step : start - step;
        i = ((i % n) + n) % n; // wraps around
        if (is_stop(order[static_cast<size_t>(i)])) {
            next = order[static_cast<size_t>(i)];
        }
    }
    if (next != nullptr) {
        setFocus(next, true);
    }
    focus_needed_ = false;
    return true;
}

void PaintManager::invalidateAll() {
    const UiRect client = clientRect();
    if (!client.isEmpty()) {
        invalidate(client);
    }
}

void PaintManager::setCapture() {
    if (layer_ != nullptr && native_window_ != 0) {
        layer_->setCapture(native_window_);
    }
    captured_ = true;
}

void PaintManager::releaseCapture() {
    if (captured_ && layer_ != nullptr) {
        layer_->releaseCapture();
    }
    captured_ = false;
}

void PaintManager::setCursor(CursorShape shape) {
    if (layer_ != nullptr) {
        layer_->setCursor(shape);
    }
}

void PaintManager::addMouseLeaveNeeded(CControlUI* control) {
    AppendOnce(mouse_leave_, control);
}

void PaintManager::removeMouseLeaveNeeded(CControlUI* control) {
    std::erase(mouse_leave_, control);
}

void PaintManager::addNativeWindow(CControlUI* control, NativeWindowId window) {
    native_windows_.emplace_back(control, window);
}

void PaintManager::removeNativeWindow(NativeWindowId window) {
    std::erase_if(native_windows_, [window](const auto& entry) { return entry.second == window; });
}

CControlUI* PaintManager::getNativeWindowOwner(NativeWindowId window) const {
    for (const auto& [control, id] : native_windows_) {
        if (id == window) {
            return control;
        }
    }
    return nullptr;
}

void PaintManager::addDelayedCleanup(CControlUI* control) {
    if (control == nullptr) {
        return;
    }
    releaseControl(control);
    control->setManager(this, nullptr, false);
    delayed_cleanup_.emplace_back(control);
    postAsyncNotify();
}

void PaintManager::reapObjects(CControlUI* control) {
    ForEachControl(
        control, [this](CControlUI* c) { releaseControl(c); }, ChildOrder::LAST_TO_FIRST);
}

const ImageEntry* PaintManager::loadImage(const std::string& name, const std::string& res_type,
                                          std::uint32_t mask) {
    return images_.load(name, res_type, mask);
}

bool PaintManager::drawImage(DrawContext& dc, const UiRect& item, const UiRect& paint,
                             ImageDescription& image, const UiRect* dest, int alpha) {
    return images_.draw(dc, item, paint, image, dest, alpha);
}

void PaintManager::paint() {
    paintPending();
    accessibility_.refresh();
}

void PaintManager::paintPending() {
    if (root_ == nullptr || layer_ == nullptr || native_window_ == 0) {
        return;
    }
    const UiRect client = layer_->clientRect(native_window_);
    if (client.isEmpty()) {
        return;
    }
    placePendingFocus(client);
    layoutPending(client);
    UiRect area = IntersectRect(dirty_, client);
    dirty_ = UiRect{};
    const bool layered = usesLayeredPaint();
    DrawContext& dc = layered ? layered_buffer_ : offscreen_;
    // Layout is in logical pixels; the buffer holds the window's device pixels.
    const int scale = getScale();
    if (!dc.isValid() || dc.width() != client.width() || dc.height() != client.height() ||
        dc.scale() != scale) {
        dc = DrawContext(client.width(), client.height(), scale);
        area = client; // a new buffer holds nothing yet
    }
    if (area.isEmpty()) {
        return;
    }
    if (layered) {
        paintLayered(dc, client, area);
        return;
    }
    // An opaque window paints into the off-screen buffer, which is then copied to it.
    dc.pushClip(area);
    root_->doPaint(dc, area);
    paintFocusRing(dc, area);
    dc.popClip();
    if (attributes_.showDirty()) {
        OutlineArea(dc, area);
    }
    layer_->present(native_window_, dc, area, PresentMode::OPAQUE, WindowAttributes::FULL_ALPHA);
}

void PaintManager::placePendingFocus(const UiRect& client) {
    if (!focus_needed_) {
        return;
    }
    // Focus placed during a layout would land on stale rectangles: it waits for the next
    // paint, which the invalidation asks for.
    if (layout_needed_ || update_needed_) {
        invalidate(client);
        return;
    }
    focus_needed_ = false;
    if (pending_focus_ != nullptr) {
        CControlUI* target = pending_focus_;
        pending_focus_ = nullptr;
        setFocus(target, true);
    } else {
        focusNext();
    }
}

void PaintManager::layoutPending(const UiRect& client) {
    // A round of layout may ask for another (a handler of "windowinit", a control that
    // resized itself); a few rounds settle any skin.
    for (int round = 0; round < MAX_LAYOUT_ROUNDS && (layout_needed_ || update_needed_); ++round) {
        offscreen_ = DrawContext{};
        if (layout_needed_ || root_->isUpdateNeeded()) {
            root_->setPos(client, true);
        } else {
            // Only some controls asked: each is laid out again where it stands.
            ForEachControl(
                root_.get(),
                [](CControlUI* c) {
                    if (!c->isUpdateNeeded()) {
                        return VisitResult::CONTINUE;
                    }
                    c->setPos(c->getPos(), true); // lays out its subtree again
                    return VisitResult::SKIP_CHILDREN;
                },
                ChildOrder::LAST_TO_FIRST);
        }
        layout_needed_ = false;
        update_needed_ = false;
        // The first layout announces the window.
        if (first_layout_) {
            first_layout_ = false;
            sendNotify(root_.get(), "windowinit");
        }
        if (focus_needed_) {
            invalidate(client);
        }
    }
}

void PaintManager::paintLayered(DrawContext& dc, const UiRect& client, const UiRect& area) {
    // Per-pixel alpha. The area starts transparent, so that translucent painting does not
    // build up over earlier paints.
    dc.pushClip(area);
    dc.clear(area);
    root_->doPaint(dc, area);
    paintFocusRing(dc, area);
    dc.popClip();
    ImageDescription& image = attributes_.layeredImage();
    if (!image.isEmpty()) {
        // The alpha image only changes with the window's size, scale or the attribute.
        if (!layered_image_buffer_.isValid() || layered_image_buffer_.width() != client.width() ||
            layered_image_buffer_.height() != client.height() ||
            layered_image_buffer_.scale() != dc.scale()) {
            layered_image_buffer_ = DrawContext(client.width(), client.height(), dc.scale());
            drawImage(layered_image_buffer_, client, client, image);
        }
        if (image.entry != nullptr && image.entry->hasAlpha()) {
            ApplyAlphaMask(dc, layered_image_buffer_, area);
        }
    }
    layer_->present(native_window_, dc, area, PresentMode::PER_PIXEL,
                    static_cast<std::uint8_t>(attributes_.layeredOpacity()));
}
} // namespace inkwarden

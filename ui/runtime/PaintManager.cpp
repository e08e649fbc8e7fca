#include "ui/runtime/PaintManager.h"

#include "ui/controls/CControlUI.h"
#include "ui/controls/ForEachControl.h"
#include "ui/markup/SkinPackage.h"
#include "ui/runtime/IMessageFilterUI.h"
#include "ui/runtime/INotifyUI.h"
#include "ui/runtime/Registrations.h"

#include <algorithm>

namespace inkwarden {
namespace {

// Every manager bound to a window, oldest first.
std::vector<PaintManager*>& Managers() {
    static std::vector<PaintManager*> managers;
    return managers;
}

// Layout rounds in one paint, for layouts that ask for more layout.
constexpr int MAX_LAYOUT_ROUNDS = 4;

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

} // namespace

PaintManager::PaintManager() = default;

PaintManager::~PaintManager() {
    // The layer lets go of the accessible tree before the controls go.
    offerAccessibility(false);
    // The tree goes first, while the maps its controls reach are still here.
    root_.reset();
    delayed_cleanup_.clear();
    removeAllTimers();
    std::erase(Managers(), this);
}

void PaintManager::init(void* window, std::string_view name) {
    names_.clear();
    option_groups_.clear();
    async_queue_.clear();
    removeAllTimers();
    input_.clearPreMessageFilters();
    filters_.clear();
    input_.forgetTree();
    window_ = window;
    name_.assign(name);
    initialised_ = true;
}

bool PaintManager::attachRoot(CControlUI* root) {
    if (root == nullptr) {
        return false;
    }
    input_.forgetTree();
    names_.clear();
    option_groups_.clear();
    root_.reset(root);
    offscreen_ = DrawContext{};
    first_layout_ = true;
    layout_needed_ = true;
    input_.needFocus();
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
    input_.forget(control);
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
    msg.timestamp = input_.now();
    msg.point = input_.mousePosition();
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
        presentation_.imageChanged();
        presentation_.startRepaintTimer();
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
    async_posted_ = false;
    layer_ = layer;
    native_window_ = window;
    timers_.bind(layer, window);
    input_.bind(layer, window);
    presentation_.bind(layer, window);
    offscreen_ = DrawContext{};
    auto& managers = Managers();
    AppendOnce(managers, this);
    presentation_.startRepaintTimer();
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

bool PaintManager::usesLayeredPaint() const {
    return presentation_.isActive();
}

const DrawContext& PaintManager::getPaintBuffer() const {
    return usesLayeredPaint() ? presentation_.surface() : offscreen_;
}

UiRect PaintManager::getClientRect() const {
    if (layer_ != nullptr && native_window_ != 0) {
        return layer_->clientRect(native_window_);
    }
    return root_ != nullptr ? root_->getPos() : UiRect{};
}

void PaintManager::addPreMessageFilter(IMessageFilterUI* filter) {
    input_.addPreMessageFilter(filter);
}

void PaintManager::removePreMessageFilter(IMessageFilterUI* filter) {
    input_.removePreMessageFilter(filter);
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
            manager->input_.trackKey(msg.message, msg.wparam);
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
                manager->input_.trackKey(msg.message, msg.wparam);
                LRESULT result = 0;
                manager->preMessageHandler(msg.message, msg.wparam, msg.lparam, result);
                break;
            }
        }
    }
    return false;
}

bool PaintManager::preMessageHandler(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    return input_.preMessage(message, wparam, lparam, result);
}

bool PaintManager::messageHandler(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    if (runMessageFilters(message, wparam, lparam, result) ||
        onLayeredFrame(message, wparam, result)) {
        return true;
    }
    input_.trackKey(message, wparam);
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
        return input_.onMouseMove(wparam, lparam);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
        return input_.onButtonDown(message, wparam, lparam);
    case WM_LBUTTONUP:
        return input_.onButtonUp(wparam, lparam);
    case WM_CONTEXTMENU:
        return input_.onContextMenu(wparam, lparam);
    case WM_MOUSEWHEEL:
        return input_.onMouseWheel(wparam, lparam);
    case WM_MOUSEHOVER:
        return input_.onMouseHover(wparam);
    case WM_MOUSELEAVE:
        return input_.onMouseLeave();
    case WM_KEYUP:
        return input_.onKeyUp(wparam, lparam);
    case WM_KEYDOWN:
    case WM_CHAR:
        return input_.onKeyDownOrChar(message, wparam, lparam);
    case WM_SETCURSOR:
        return input_.onSetCursor(wparam, lparam, result);
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
    if (!RunMessageFilters(filters_, message, wparam, lparam, result)) {
        return false;
    }
    // A filter that takes a mouse message still moves the last mouse position.
    if (CarriesClientPoint(message)) {
        input_.noteMousePosition(UiPoint{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
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
    // The window then closes normally.
    input_.onClose();
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
    input_.sendAtMouse(input_.focus(), UiEventKind::WINDOWSIZE, wparam, lparam);
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
        input_.sendAtMouse(control, UiEventKind::TIMER, key, lparam);
    }
    return false;
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
    input_.onKillFocus(wparam);
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
    input_.setFocus(control, focus_window);
}

void PaintManager::setFocusByKeyboard(CControlUI* control) {
    input_.setFocusByKeyboard(control);
}

bool PaintManager::focusNext(bool forward) {
    return input_.focusNext(forward);
}

void PaintManager::setCapture() {
    input_.setCapture();
}

void PaintManager::releaseCapture() {
    input_.releaseCapture();
}

void PaintManager::paintFocusRing(DrawContext& dc, const UiRect& area) {
    const CControlUI* focus = input_.focus();
    if (!input_.isFocusRingShown() || focus == nullptr || !focus->isVisible() ||
        focus->getPos().isEmpty()) {
        return;
    }
    const UiRect outer = focusRingRect(focus);
    if (IntersectRect(outer, area).isEmpty()) {
        return;
    }
    // Two frames filled with the even-odd rule: whole pixels at every scale.
    const UiRect middle{outer.left + FOCUS_RING_OUTSET - FOCUS_RING_INNER,
                        outer.top + FOCUS_RING_OUTSET - FOCUS_RING_INNER,
                        outer.right - FOCUS_RING_OUTSET + FOCUS_RING_INNER,
                        outer.bottom - FOCUS_RING_OUTSET + FOCUS_RING_INNER};
    const UiRect inner = focus->getPos();
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
    input_.needFocus(control);
    invalidateAll();
}

void PaintManager::invalidateAll() {
    const UiRect client = getClientRect();
    if (!client.isEmpty()) {
        invalidate(client);
    }
}

void PaintManager::setCursor(CursorShape shape) {
    if (layer_ != nullptr) {
        layer_->setCursor(shape);
    }
}

void PaintManager::addMouseLeaveNeeded(CControlUI* control) {
    input_.addMouseLeaveNeeded(control);
}

void PaintManager::removeMouseLeaveNeeded(CControlUI* control) {
    input_.removeMouseLeaveNeeded(control);
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
    input_.placePendingFocus(client);
    layoutPending(client);
    UiRect area = IntersectRect(dirty_, client);
    dirty_ = UiRect{};
    const bool layered = usesLayeredPaint();
    DrawContext& dc = layered ? presentation_.surface() : offscreen_;
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
    dc.pushClip(area);
    if (layered) {
        // Per-pixel alpha: the area starts transparent, so that translucent painting does
        // not build up over earlier paints.
        dc.clear(area);
    }
    root_->doPaint(dc, area);
    paintFocusRing(dc, area);
    dc.popClip();
    if (layered) {
        presentation_.present(client, area);
        return;
    }
    // An opaque window's off-screen buffer is copied to it.
    if (attributes_.showDirty()) {
        OutlineArea(dc, area);
    }
    layer_->present(native_window_, dc, area, PresentMode::OPAQUE, WindowAttributes::FULL_ALPHA);
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
        if (input_.isFocusNeeded()) {
            invalidate(client);
        }
    }
}

} // namespace inkwarden

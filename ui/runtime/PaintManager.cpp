#include "ui/runtime/PaintManager.h"

#include "platform/TextEncoding.h"
#include "ui/controls/CControlUI.h"
#include "ui/controls/IContainerUI.h"
#include "ui/draw/ImageDrawing.h"
#include "ui/markup/ColorFormat.h"
#include "ui/markup/ModuleResources.h"
#include "ui/markup/SkinPackage.h"
#include "ui/markup/ValueFormats.h"
#include "ui/runtime/IMessageFilterUI.h"
#include "ui/runtime/INotifyUI.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>

namespace inkwarden {
namespace {

// Process-wide state: set up before the first window, unguarded like the rest.
std::map<std::string, std::unique_ptr<FontEntry>>& SharedFonts() {
    static std::map<std::string, std::unique_ptr<FontEntry>> fonts;
    return fonts;
}

std::unique_ptr<FontEntry>& SharedDefaultFont() {
    static std::unique_ptr<FontEntry> font;
    return font;
}

std::map<std::string, PaintManager::ImageRegistration>& SharedImages() {
    static std::map<std::string, PaintManager::ImageRegistration> images;
    return images;
}

std::map<std::string, std::string>& SharedDefaultAttributes() {
    static std::map<std::string, std::string> lists;
    return lists;
}

std::map<int, std::string>& TextTable() {
    static std::map<int, std::string> table;
    return table;
}

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

// Skin names use either slash.
std::string ForwardSlashes(std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

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

} // namespace

PaintManager::PaintManager() {
    image_loader_.setSkinFileReader([](const std::string& name) -> std::optional<std::string> {
        std::vector<unsigned char> bytes;
        std::string error;
        if (!SkinPackage::readFile(ForwardSlashes(name), bytes, error)) {
            return std::nullopt;
        }
        return std::string(bytes.begin(), bytes.end());
    });
    image_loader_.setResourceReader(
        [](const std::string& type, const std::string& name) -> std::optional<std::string> {
            int id = 0;
            const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), id);
            if (ec != std::errc{} || end != name.data() + name.size()) {
                return std::nullopt;
            }
            const auto bytes = ModuleResources::find(type, id);
            if (bytes.empty()) {
                return std::nullopt;
            }
            return std::string(bytes.begin(), bytes.end());
        });
}

PaintManager::~PaintManager() {
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
    std::unique_ptr<FontEntry> font = FontEntry::create(face, size, bold, underline, italic);
    if (font == nullptr) {
        return nullptr;
    }
    FontEntry* result = font.get();
    auto& map = shared ? SharedFonts() : fonts_;
    // Replacing an id destroys the old font.
    map[std::to_string(id)] = std::move(font);
    return result;
}

void PaintManager::setDefaultFont(const std::string& face, int size, bool bold, bool underline,
                                  bool italic, bool shared) {
    std::unique_ptr<FontEntry> font = FontEntry::create(face, size, bold, underline, italic);
    if (font == nullptr) {
        return;
    }
    (shared ? SharedDefaultFont() : default_font_) = std::move(font);
}

FontEntry* PaintManager::getFont(int id) {
    const std::string key = std::to_string(id);
    if (auto it = fonts_.find(key); it != fonts_.end()) {
        return it->second.get();
    }
    if (auto it = SharedFonts().find(key); it != SharedFonts().end()) {
        return it->second.get();
    }
    return getDefaultFont();
}

FontEntry* PaintManager::getDefaultFont() {
    if (default_font_ != nullptr) {
        return default_font_.get();
    }
    std::unique_ptr<FontEntry>& shared = SharedDefaultFont();
    if (shared == nullptr) {
        // The system's default GUI face.
        shared = FontEntry::create("Sans", 12, false, false, false);
    }
    return shared.get();
}

void PaintManager::removeAllSharedFonts() {
    SharedFonts().clear();
    SharedDefaultFont().reset();
}

void PaintManager::addImage(const std::string& name, const std::string& res_type,
                            std::uint32_t mask, bool shared) {
    if (name.empty()) {
        return;
    }
    ImageRegistration image{name, res_type, mask, shared};
    (shared ? SharedImages() : images_)[name] = image;
}

const PaintManager::ImageRegistration* PaintManager::getImage(const std::string& name) const {
    if (auto it = images_.find(name); it != images_.end()) {
        return &it->second;
    }
    if (auto it = SharedImages().find(name); it != SharedImages().end()) {
        return &it->second;
    }
    return nullptr;
}

void PaintManager::addDefaultAttributeList(const std::string& control_class,
                                           const std::string& list, bool shared) {
    (shared ? SharedDefaultAttributes() : default_attributes_)[control_class] = list;
}

const std::string* PaintManager::getDefaultAttributeList(const std::string& control_class) const {
    if (auto it = default_attributes_.find(control_class); it != default_attributes_.end()) {
        return &it->second;
    }
    auto& shared = SharedDefaultAttributes();
    if (auto it = shared.find(control_class); it != shared.end()) {
        return &it->second;
    }
    return nullptr;
}

void PaintManager::removeAllSharedDefaultAttributeLists() {
    SharedDefaultAttributes().clear();
    SharedImages().clear();
}

void PaintManager::setWindowAttribute(std::string_view name, std::string_view value) {
    if (EqualsIgnoringAsciiCase(name, "size")) {
        init_size_ = ParsePair(value);
        if (root_ == nullptr && on_resize_window) {
            on_resize_window(init_size_);
        }
    } else if (EqualsIgnoringAsciiCase(name, "sizebox")) {
        size_box_ = ParseRect(value);
    } else if (EqualsIgnoringAsciiCase(name, "caption")) {
        caption_ = ParseRect(value);
    } else if (EqualsIgnoringAsciiCase(name, "roundcorner")) {
        round_corner_ = ParsePair(value);
    } else if (EqualsIgnoringAsciiCase(name, "mininfo")) {
        min_info_ = ParsePair(value);
    } else if (EqualsIgnoringAsciiCase(name, "maxinfo")) {
        max_info_ = ParsePair(value);
    } else if (EqualsIgnoringAsciiCase(name, "showdirty")) {
        show_dirty_ = ParseBool(value);
    } else if (name == "noactivate") {
        no_activate_ = ParseBool(value);
    } else if (EqualsIgnoringAsciiCase(name, "opacity")) {
        opacity_ = std::clamp(ParseInt(value), 0, 255);
    } else if (name == "layeredopacity") {
        layered_opacity_ = std::clamp(ParseInt(value), 0, 255);
    } else if (name == "layeredimage") {
        layered_ = true;
        layered_image_.setText(value);
        layered_image_buffer_ = DrawContext{};
        startLayeredTimer();
    } else if (EqualsIgnoringAsciiCase(name, "disabledfontcolor")) {
        disabled_color_ = ParseColor(value);
    } else if (EqualsIgnoringAsciiCase(name, "defaultfontcolor")) {
        font_color_ = ParseColor(value);
    } else if (EqualsIgnoringAsciiCase(name, "linkfontcolor")) {
        link_color_ = ParseColor(value);
    } else if (EqualsIgnoringAsciiCase(name, "linkhoverfontcolor")) {
        link_hover_color_ = ParseColor(value);
    } else if (EqualsIgnoringAsciiCase(name, "selectedcolor")) {
        selected_color_ = ParseColor(value);
    } else {
        for (const auto& [key, stored] : window_attributes_) {
            if (key == name) {
                return; // first value per name
            }
        }
        window_attributes_.emplace_back(std::string(name), std::string(value));
    }
}

std::string PaintManager::getWindowAttribute(std::string_view name) const {
    for (const auto& [key, value] : window_attributes_) {
        if (key == name) {
            return value;
        }
    }
    return {};
}

void PaintManager::setMultiLanguageString(int id, const std::string& text) {
    TextTable()[id] = text;
}

const std::string* PaintManager::getMultiLanguageString(int id) {
    auto it = TextTable().find(id);
    return it == TextTable().end() ? nullptr : &it->second;
}

void PaintManager::removeAllMultiLanguageStrings() {
    TextTable().clear();
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
    init(static_cast<void*>(nullptr), name);
    if (layered_timer_ && layer_ != nullptr && layer_->exists(native_window_)) {
        layer_->killTimer(native_window_, LAYERED_REPAINT_TIMER);
    }
    layered_timer_ = false;
    async_posted_ = false;
    layer_ = layer;
    native_window_ = window;
    offscreen_ = DrawContext{};
    layered_buffer_ = DrawContext{};
    layered_image_buffer_ = DrawContext{};
    auto& managers = Managers();
    AppendOnce(managers, this);
    startLayeredTimer();
}

void PaintManager::startLayeredTimer() {
    if (layered_timer_ || !usesLayeredPaint()) {
        return;
    }
    layered_timer_ = layer_->setTimer(native_window_, LAYERED_REPAINT_TIMER, LAYERED_REPAINT_MS);
}

bool PaintManager::usesLayeredPaint() const {
    // Without per-pixel alpha on this platform the window stays opaque.
    return layered_ && layer_ != nullptr && native_window_ != 0 &&
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
    auto filters = pre_filters_;
    for (IMessageFilterUI* filter : filters) {
        bool handled = false;
        const LRESULT answer = filter->messageHandler(message, wparam, lparam, handled);
        if (handled) {
            result = answer;
            return true;
        }
    }
    switch (message) {
    case WM_KEYDOWN:
        if (wparam == VK_TAB) {
            focusNext(!shift_down_);
            return true;
        }
        break;
    case WM_SYSKEYDOWN:
        if (focus_ != nullptr) {
            UiEvent event =
                makeEvent(UiEventKind::SYSKEY, focus_, last_mouse_, wparam, lparam, keyState());
            event.character = static_cast<char32_t>(wparam);
            sendEvent(focus_, event);
        }
        break;
    case WM_SYSCHAR: {
        // The control whose shortcut is the typed character takes focus and activates.
        if (root_ == nullptr) {
            break;
        }
        const char wanted = static_cast<char>(std::toupper(static_cast<unsigned char>(wparam)));
        std::vector<CControlUI*> stack{root_.get()};
        while (!stack.empty()) {
            CControlUI* c = stack.back();
            stack.pop_back();
            if (!c->isVisible() || !c->isEnabled()) {
                continue;
            }
            if (c->getShortcut() != 0 &&
                std::toupper(static_cast<unsigned char>(c->getShortcut())) == wanted) {
                setFocus(c, true);
                c->activate();
                return true;
            }
            if (auto* container = static_cast<IContainerUI*>(c->getInterface("IContainer"))) {
                for (int i = container->getCount() - 1; i >= 0; --i) {
                    stack.push_back(container->getItemAt(i));
                }
            }
        }
        break;
    }
    default:
        break;
    }
    return false;
}

bool PaintManager::messageHandler(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    const bool is_mouse = (message >= WM_MOUSEMOVE && message <= WM_MOUSEWHEEL) ||
                          message == WM_MOUSEHOVER || message == WM_MOUSELEAVE;
    // 1. Message filters first.
    auto filters = filters_;
    for (IMessageFilterUI* filter : filters) {
        bool handled = false;
        const LRESULT answer = filter->messageHandler(message, wparam, lparam, handled);
        if (handled) {
            if (is_mouse && message != WM_MOUSELEAVE && message != WM_MOUSEWHEEL) {
                last_mouse_ = PointOf(lparam);
            }
            result = answer;
            return true;
        }
    }
    const bool minimized = layer_ != nullptr && layer_->isMinimized(native_window_);
    // 2. A layered window has no frame of its own.
    if (usesLayeredPaint()) {
        if (message == WM_NCCALCSIZE || message == WM_NCPAINT) {
            result = 0;
            return true;
        }
        if (message == WM_NCACTIVATE && !minimized) {
            result = wparam == 0 ? 1 : 0;
            return true;
        }
    }
    trackKey(message, wparam);
    switch (message) {
    case WM_CLOSE: {
        // 3. Let go of the mouse and the focus; the window closes normally.
        if (hot_ != nullptr) {
            sendEvent(hot_, makeEvent(UiEventKind::MOUSELEAVE, hot_, last_mouse_));
            hot_ = nullptr;
        }
        if (pressed_ != nullptr) {
            CControlUI* pressed = pressed_;
            pressed_ = nullptr;
            sendEvent(pressed, makeEvent(UiEventKind::BUTTONUP, pressed, last_mouse_));
        }
        setFocus(nullptr, false);
        if (layer_ != nullptr && layer_->focus() == native_window_) {
            const NativeWindowId owner = layer_->parentOf(native_window_);
            if (owner != 0) {
                layer_->setFocus(owner);
            }
        }
        if (layer_ != nullptr && tooltip_shown_) {
            layer_->hideTooltip(native_window_);
            tooltip_shown_ = false;
        }
        return false;
    }
    case WM_ERASEBKGND:
        // 4. Everything is painted on WM_PAINT.
        result = 1;
        return true;
    case WM_PAINT:
        // 5.
        paint();
        result = 0;
        return true;
    case WM_SIZE: {
        // 6.
        if (focus_ != nullptr) {
            sendEvent(focus_, makeEvent(UiEventKind::WINDOWSIZE, focus_, last_mouse_, wparam,
                                        lparam, keyState()));
        }
        if (root_ != nullptr) {
            root_->needUpdate();
        }
        layout_needed_ = true;
        invalidateAll();
        result = 0;
        return true;
    }
    case WM_TIMER: {
        // 7.
        if (wparam == LAYERED_REPAINT_TIMER && usesLayeredPaint()) {
            if (!dirty_.isEmpty() && !minimized) {
                paint();
            }
            return false;
        }
        for (const TimerEntry& timer : timers_) {
            if (timer.window == native_window_ && timer.native_id == wparam && !timer.killed) {
                CControlUI* control = timer.control;
                const UINT key = timer.key;
                sendEvent(control, makeEvent(UiEventKind::TIMER, control, last_mouse_, key, lparam,
                                             keyState()));
                break;
            }
        }
        return false;
    }
    case WM_MOUSEMOVE: {
        // 8.
        if (!mouse_tracking_ && layer_ != nullptr) {
            layer_->trackMouse(native_window_, hover_time_);
            mouse_tracking_ = true;
        }
        const UiPoint pt = PointOf(lparam);
        last_mouse_ = pt;
        CControlUI* under = findControl(pt);
        if (under != nullptr && under->getManager() != this) {
            return false;
        }
        if (!captured_ && under != hot_) {
            if (hot_ != nullptr || !mouse_leave_.empty()) {
                if (hot_ != nullptr) {
                    sendEvent(hot_, makeEvent(UiEventKind::MOUSELEAVE, hot_, pt, 0, 0, wparam));
                }
                auto leaving = mouse_leave_;
                for (CControlUI* c : leaving) {
                    if (c != hot_) {
                        sendEvent(c, makeEvent(UiEventKind::MOUSELEAVE, c, pt, 0, 0, wparam));
                    }
                }
                hot_ = nullptr;
                if (tooltip_shown_ && layer_ != nullptr) {
                    layer_->hideTooltip(native_window_);
                    tooltip_shown_ = false;
                }
            }
            if (under != nullptr) {
                hot_ = under;
                sendEvent(under, makeEvent(UiEventKind::MOUSEENTER, under, pt, 0, 0, wparam));
            }
        }
        if (pressed_ != nullptr) {
            sendEvent(pressed_, makeEvent(UiEventKind::MOUSEMOVE, pressed_, pt, 0, 0, wparam));
        } else if (under != nullptr) {
            sendEvent(under, makeEvent(UiEventKind::MOUSEMOVE, under, pt, 0, 0, wparam));
        }
        return false;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN: {
        // 9.
        if (!no_activate_ && layer_ != nullptr && layer_->focus() != native_window_) {
            layer_->setFocus(native_window_);
        }
        const UiPoint pt = PointOf(lparam);
        last_mouse_ = pt;
        CControlUI* control = findControl(pt);
        if (control == nullptr || control->getManager() != this) {
            return false;
        }
        if (message == WM_LBUTTONDOWN) {
            pressed_ = control;
            setFocus(control, true);
            setCapture();
            sendEvent(control,
                      makeEvent(UiEventKind::BUTTONDOWN, control, pt, wparam, lparam, wparam));
        } else if (message == WM_LBUTTONDBLCLK) {
            pressed_ = control;
            setCapture();
            sendEvent(control,
                      makeEvent(UiEventKind::DBLCLICK, control, pt, wparam, lparam, wparam));
        } else {
            setFocus(control, true);
            sendEvent(control,
                      makeEvent(UiEventKind::RBUTTONDOWN, control, pt, wparam, lparam, wparam));
            pressed_ = control;
        }
        return false;
    }
    case WM_LBUTTONUP: {
        const UiPoint pt = PointOf(lparam);
        last_mouse_ = pt;
        releaseCapture();
        if (pressed_ != nullptr) {
            CControlUI* pressed = pressed_;
            pressed_ = nullptr;
            sendEvent(pressed,
                      makeEvent(UiEventKind::BUTTONUP, pressed, pt, wparam, lparam, wparam));
        }
        return false;
    }
    case WM_CONTEXTMENU: {
        if (pressed_ != nullptr) {
            CControlUI* pressed = pressed_;
            pressed_ = nullptr;
            sendEvent(pressed, makeEvent(UiEventKind::CONTEXTMENU, pressed, last_mouse_, wparam,
                                         lparam, keyState()));
        }
        return false;
    }
    case WM_MOUSEWHEEL: {
        // 10. Wheel positions are screen points; the last client position is the one used.
        CControlUI* control = findControl(last_mouse_);
        if (control == nullptr || control->getManager() != this) {
            return false;
        }
        const WPARAM towards_user = GET_WHEEL_DELTA_WPARAM(wparam) < 0 ? 1 : 0;
        sendEvent(control, makeEvent(UiEventKind::SCROLLWHEEL, control, last_mouse_, towards_user,
                                     lparam, LOWORD(wparam)));
        LRESULT ignored = 0;
        messageHandler(WM_MOUSEMOVE, 0, MAKELPARAM(last_mouse_.x, last_mouse_.y), ignored);
        return false;
    }
    case WM_MOUSEHOVER: {
        // 11.
        if (hot_ != nullptr) {
            if (!hot_->getToolTip().empty() && layer_ != nullptr) {
                layer_->showTooltip(native_window_, hot_->getToolTip(), last_mouse_);
                tooltip_shown_ = true;
            }
            sendEvent(hot_, makeEvent(UiEventKind::MOUSEHOVER, hot_, last_mouse_, 0, 0, wparam));
        }
        return false;
    }
    case WM_MOUSELEAVE: {
        if (tooltip_shown_ && layer_ != nullptr) {
            layer_->hideTooltip(native_window_);
            tooltip_shown_ = false;
        }
        if (mouse_tracking_) {
            mouse_tracking_ = false;
            // Still over the client area (a native child took the mouse): move there.
            // Otherwise a move outside the window ends the hot state.
            UiPoint pt{-1, -1};
            if (layer_ != nullptr && layer_->focus() == native_window_) {
                const UiPoint cursor = layer_->cursorPosition(native_window_);
                if (clientRect().contains(cursor)) {
                    pt = cursor;
                }
            }
            LRESULT ignored = 0;
            messageHandler(WM_MOUSEMOVE, 0, MAKELPARAM(pt.x, pt.y), ignored);
            mouse_tracking_ = false;
        }
        return false;
    }
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR: {
        // 12.
        if (message == WM_KEYUP) {
            if (key_pressed_ == nullptr) {
                return false;
            }
            CControlUI* control = key_pressed_;
            key_pressed_ = nullptr;
            UiEvent event =
                makeEvent(UiEventKind::KEYUP, control, last_mouse_, wparam, lparam, keyState());
            event.character = static_cast<char32_t>(wparam);
            sendEvent(control, event);
            return false;
        }
        if (focus_ == nullptr) {
            return false;
        }
        CControlUI* control = focus_;
        const UiEventKind kind = message == WM_KEYDOWN ? UiEventKind::KEYDOWN : UiEventKind::CHAR;
        UiEvent event = makeEvent(kind, control, last_mouse_, wparam, lparam, keyState());
        event.character = static_cast<char32_t>(wparam);
        if (message == WM_KEYDOWN) {
            key_pressed_ = control;
        }
        sendEvent(control, event);
        return false;
    }
    case WM_SETCURSOR: {
        // 13.
        if (LOWORD(static_cast<std::uintptr_t>(lparam)) != HTCLIENT || captured_ ||
            layer_ == nullptr) {
            return false;
        }
        const UiPoint pt = layer_->cursorPosition(native_window_);
        CControlUI* control = findControl(pt);
        if (control == nullptr || (control->getControlFlags() & 2u) == 0) {
            return false;
        }
        sendEvent(control,
                  makeEvent(UiEventKind::SETCURSOR, control, pt, wparam, lparam, keyState()));
        result = 1;
        return true;
    }
    case WM_MOUSEACTIVATE:
        // 14.
        if (no_activate_) {
            result = MA_NOACTIVATE;
            return true;
        }
        return false;
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
        // 15. Reflected to the native child that sent it.
        const auto child = static_cast<NativeWindowId>(lparam);
        if (child == 0 || layer_ == nullptr || !isOwnNativeWindow(child)) {
            return false;
        }
        result = layer_->send(child, OCM_BASE + message, wparam, lparam);
        return true;
    }
    case WM_KILLFOCUS: {
        // 16. Focus went to one of our native children: its control is the focused one.
        const auto to = static_cast<NativeWindowId>(wparam);
        if (CControlUI* owner = getNativeWindowOwner(to)) {
            if (owner != focus_) {
                setFocus(owner, false);
            }
        }
        return false;
    }
    case MSG_ASYNC_NOTIFY:
        // 17.
        async_posted_ = false;
        deliverAsyncNotifications();
        delayed_cleanup_.clear();
        result = 0;
        return true;
    default:
        break;
    }
    return false;
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
    if (control == nullptr) {
        return false;
    }
    for (TimerEntry& timer : timers_) {
        if (timer.control == control && timer.key == key && timer.window == native_window_) {
            if (!timer.killed) {
                return false; // already running
            }
            if (layer_ == nullptr || !layer_->setTimer(native_window_, timer.native_id, elapse)) {
                return false;
            }
            timer.killed = false;
            return true;
        }
    }
    // Next id of the cycle 17, 18, ... 254, 0, 1, ...; an id another entry still holds is
    // passed over so that two timers never share one native timer.
    bool found = false;
    for (unsigned tries = 0; tries < TIMER_ID_RANGE && !found; ++tries) {
        timer_counter_ = (timer_counter_ + 1) % TIMER_ID_RANGE;
        found = std::none_of(timers_.begin(), timers_.end(), [this](const TimerEntry& t) {
            return t.window == native_window_ && t.native_id == timer_counter_;
        });
    }
    if (!found || layer_ == nullptr || native_window_ == 0 ||
        !layer_->setTimer(native_window_, timer_counter_, elapse)) {
        return false;
    }
    timers_.push_back(TimerEntry{control, key, native_window_, timer_counter_, false});
    return true;
}

bool PaintManager::killTimer(CControlUI* control, UINT key) {
    for (TimerEntry& timer : timers_) {
        if (timer.control == control && timer.key == key && timer.window == native_window_ &&
            !timer.killed) {
            if (layer_ != nullptr && layer_->exists(timer.window)) {
                layer_->killTimer(timer.window, timer.native_id);
            }
            timer.killed = true; // kept, so that the id comes back when set again
            return true;
        }
    }
    return false;
}

void PaintManager::killTimers(CControlUI* control) {
    std::erase_if(timers_, [this, control](const TimerEntry& timer) {
        if (timer.control != control || timer.window != native_window_) {
            return false;
        }
        if (!timer.killed && layer_ != nullptr && layer_->exists(timer.window)) {
            layer_->killTimer(timer.window, timer.native_id);
        }
        return true;
    });
}

void PaintManager::removeAllTimers() {
    for (const TimerEntry& timer : timers_) {
        if (!timer.killed && layer_ != nullptr && layer_->exists(timer.window)) {
            layer_->killTimer(timer.window, timer.native_id);
        }
    }
    timers_.clear();
}

void PaintManager::setFocus(CControlUI* control, bool focus_window) {
    if (focus_window && layer_ != nullptr && native_window_ != 0 && !no_activate_ &&
        control != focus_ && layer_->focus() != native_window_) {
        layer_->setFocus(native_window_);
    }
    if (control == focus_) {
        return;
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
    std::vector<CControlUI*> stack{root_.get()};
    while (!stack.empty()) {
        CControlUI* c = stack.back();
        stack.pop_back();
        if (!c->isVisible() || !c->isEnabled()) {
            continue;
        }
        order.push_back(c);
        if (auto* container = static_cast<IContainerUI*>(c->getInterface("IContainer"))) {
            for (int i = container->getCount() - 1; i >= 0; --i) {
                stack.push_back(container->getItemAt(i));
            }
        }
    }
    auto is_stop = [](CControlUI* c) {
        return (c->getControlFlags() & 1u) != 0 && c->isKeyboardEnabled();
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
    if (!async_posted_ && layer_ != nullptr && native_window_ != 0) {
        async_posted_ = layer_->post(native_window_, MSG_ASYNC_NOTIFY, 0, 0);
    }
}

void PaintManager::reapObjects(CControlUI* control) {
    if (control == nullptr) {
        return;
    }
    std::vector<CControlUI*> stack{control};
    while (!stack.empty()) {
        CControlUI* c = stack.back();
        stack.pop_back();
        releaseControl(c);
        if (auto* container = static_cast<IContainerUI*>(c->getInterface("IContainer"))) {
            for (int i = 0; i < container->getCount(); ++i) {
                stack.push_back(container->getItemAt(i));
            }
        }
    }
}

const ImageEntry* PaintManager::loadImage(const std::string& name, const std::string& res_type,
                                          std::uint32_t mask) {
    if (name.empty()) {
        return nullptr;
    }
    std::string type = res_type;
    if (const ImageRegistration* registered = getImage(name)) {
        if (type.empty()) {
            type = registered->res_type;
        }
        if (mask == 0) {
            mask = registered->mask;
        }
    }
    // One decode per image and mask for this window.
    std::string key = type + '\x1f' + ForwardSlashes(name);
    if (mask != 0) {
        key += '\x1f' + std::to_string(mask);
    }
    auto it = image_cache_.find(key);
    if (it != image_cache_.end()) {
        return it->second.get();
    }
    std::optional<ImageEntry> image = image_loader_.load(name, type, mask);
    std::unique_ptr<ImageEntry> entry;
    if (image) {
        entry = std::make_unique<ImageEntry>(std::move(*image));
    }
    const ImageEntry* result = entry.get();
    image_cache_.emplace(key, std::move(entry)); // failures are remembered too
    return result;
}

bool PaintManager::drawImage(DrawContext& dc, const UiRect& item, const UiRect& paint,
                             ImageDescription& image, const UiRect* dest, int alpha) {
    if (image.isEmpty()) {
        return false;
    }
    if (!image.load_attempted) {
        image.load_attempted = true;
        if (image.has_color) {
            std::string key = "\x1f"
                              "color" +
                              std::to_string(image.color);
            auto it = image_cache_.find(key);
            if (it == image_cache_.end()) {
                std::optional<ImageEntry> color = ImageEntry::fromColor(image.color);
                it = image_cache_
                         .emplace(key,
                                  color ? std::make_unique<ImageEntry>(std::move(*color)) : nullptr)
                         .first;
            }
            image.entry = it->second.get();
        } else {
            image.entry =
                loadImage(image.res.empty() ? image.file : image.res, image.res_type, image.mask);
        }
    }
    if (image.entry == nullptr) {
        return false;
    }
    ImageDrawParams params;
    params.dest = dest != nullptr ? *dest : image.dest;
    params.source = image.source;
    params.corner = image.corner;
    params.fade =
        static_cast<std::uint8_t>(std::clamp(image.fade * std::clamp(alpha, 0, 255) / 255, 0, 255));
    params.hole = image.hole;
    params.xtiled = image.xtiled;
    params.ytiled = image.ytiled;
    if (params.fade == 0) {
        return true; // drawn, invisibly
    }
    return DrawImage(dc, item, paint, *image.entry, params);
}

void PaintManager::paint() {
    if (root_ == nullptr || layer_ == nullptr || native_window_ == 0) {
        return;
    }
    const UiRect client = layer_->clientRect(native_window_);
    if (client.isEmpty()) {
        return;
    }
    // 1. Pending focus; while a layout is pending it waits for the next paint.
    if (focus_needed_) {
        if (!layout_needed_ && !update_needed_) {
            focus_needed_ = false;
            if (pending_focus_ != nullptr) {
                CControlUI* target = pending_focus_;
                pending_focus_ = nullptr;
                setFocus(target, true);
            } else {
                focusNext();
            }
        } else {
            invalidate(client);
        }
    }
    // 2. Layout; the first one announces the window.
    for (int round = 0; round < 4 && (layout_needed_ || update_needed_); ++round) {
        offscreen_ = DrawContext{};
        if (layout_needed_ || root_->isUpdateNeeded()) {
            root_->setPos(client, true);
        } else {
            std::vector<CControlUI*> stack{root_.get()};
            while (!stack.empty()) {
                CControlUI* c = stack.back();
                stack.pop_back();
                if (c->isUpdateNeeded()) {
                    c->setPos(c->getPos(), true); // lays out its subtree again
                    continue;
                }
                if (auto* container = static_cast<IContainerUI*>(c->getInterface("IContainer"))) {
                    for (int i = 0; i < container->getCount(); ++i) {
                        stack.push_back(container->getItemAt(i));
                    }
                }
            }
        }
        layout_needed_ = false;
        update_needed_ = false;
        if (first_layout_) {
            first_layout_ = false;
            sendNotify(root_.get(), "windowinit");
        }
        if (focus_needed_) {
            invalidate(client);
        }
    }
    UiRect area = IntersectRect(dirty_, client);
    dirty_ = UiRect{};
    const bool layered = usesLayeredPaint();
    DrawContext& dc = layered ? layered_buffer_ : offscreen_;
    if (!dc.isValid() || dc.width() != client.width() || dc.height() != client.height()) {
        dc = DrawContext(client.width(), client.height());
        area = client; // a new buffer holds nothing yet
    }
    if (area.isEmpty()) {
        return;
    }
    if (layered) {
        paintLayered(dc, client, area);
        return;
    }
    // 3. Off-screen buffer, copied to the window.
    dc.pushClip(area);
    root_->doPaint(dc, area);
    dc.popClip();
    if (show_dirty_) {
        cairo_t* cr = dc.cairo();
        cairo_save(cr);
        cairo_set_source_rgba(cr, 1, 0, 0, 1);
        cairo_set_line_width(cr, 1);
        cairo_rectangle(cr, area.left + 0.5, area.top + 0.5, area.width() - 1, area.height() - 1);
        cairo_stroke(cr);
        cairo_restore(cr);
    }
    layer_->present(native_window_, dc, area, PresentMode::OPAQUE, 255);
}

void PaintManager::paintLayered(DrawContext& dc, const UiRect& client, const UiRect& area) {
    // 4. Per-pixel alpha. The area starts transparent, so that translucent painting does not
    // build up over earlier paints.
    dc.pushClip(area);
    dc.clear(area);
    root_->doPaint(dc, area);
    dc.popClip();
    if (!layered_image_.isEmpty()) {
        // The alpha image only changes with the window's size or the attribute.
        if (!layered_image_buffer_.isValid() || layered_image_buffer_.width() != client.width() ||
            layered_image_buffer_.height() != client.height()) {
            layered_image_buffer_ = DrawContext(client.width(), client.height());
            drawImage(layered_image_buffer_, client, client, layered_image_);
        }
        if (layered_image_.entry != nullptr && layered_image_.entry->hasAlpha()) {
            // Each pixel takes the layered image's alpha: colour x alpha / 255.
            std::uint8_t* dst = dc.data();
            const std::uint8_t* mask = layered_image_buffer_.data();
            const int dst_stride = dc.stride();
            const int mask_stride = layered_image_buffer_.stride();
            for (int y = area.top; y < area.bottom; ++y) {
                auto* row =
                    reinterpret_cast<std::uint32_t*>(dst + static_cast<size_t>(y) * dst_stride);
                const auto* mrow = reinterpret_cast<const std::uint32_t*>(
                    mask + static_cast<size_t>(y) * mask_stride);
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
    }
    layer_->present(native_window_, dc, area, PresentMode::PER_PIXEL,
                    static_cast<std::uint8_t>(layered_opacity_));
}
} // namespace inkwarden

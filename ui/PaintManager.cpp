#include "ui/PaintManager.h"

#include "ui/CControlUI.h"
#include "ui/ColorFormat.h"
#include "ui/INotifyUI.h"
#include "ui/SkinPackage.h"
#include "ui/ValueFormats.h"

#include <algorithm>
#include <chrono>
#include <strings.h>

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

bool EqualsNoCase(std::string_view a, const char* b) {
    return a.size() == std::char_traits<char>::length(b) && strncasecmp(a.data(), b, a.size()) == 0;
}

std::uint64_t NowMs() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace

PaintManager::PaintManager() = default;

PaintManager::~PaintManager() {
    // The tree goes first, while the maps its controls reach are still here.
    root_.reset();
}

void PaintManager::init(void* window, std::string_view name) {
    names_.clear();
    option_groups_.clear();
    async_queue_.clear();
    focus_ = nullptr;
    window_ = window;
    name_.assign(name);
    initialised_ = true;
}

bool PaintManager::attachRoot(CControlUI* root) {
    if (root == nullptr) {
        return false;
    }
    focus_ = nullptr;
    names_.clear();
    option_groups_.clear();
    root_.reset(root);
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
    for (auto it = names_.begin(); it != names_.end();) {
        it = it->second == control ? names_.erase(it) : std::next(it);
    }
    for (auto& [group, members] : option_groups_) {
        std::erase(members, control);
    }
    std::erase_if(async_queue_, [control](const Notification& n) { return n.sender == control; });
}

void PaintManager::setFocus(CControlUI* control) {
    if (control == focus_) {
        return;
    }
    if (focus_ != nullptr) {
        focus_->setFocusedFlag(false);
        CControlUI* old = focus_;
        focus_ = nullptr;
        sendNotify(old, "killfocus");
    }
    if (control != nullptr && control->getManager() == this && control->isVisible() &&
        control->isEnabled()) {
        focus_ = control;
        focus_->setFocusedFlag(true);
        sendNotify(focus_, "setfocus");
    }
}

void PaintManager::addNotifier(INotifyUI* notifier) {
    if (std::find(notifiers_.begin(), notifiers_.end(), notifier) == notifiers_.end()) {
        notifiers_.push_back(notifier);
    }
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

void PaintManager::sendNotify(Notification& msg, bool async, bool allow_repeat) {
    msg.timestamp = NowMs();
    if (!async) {
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
}

void PaintManager::deliverAsyncNotifications() {
    while (!async_queue_.empty()) {
        Notification msg = async_queue_.front();
        async_queue_.erase(async_queue_.begin());
        if (msg.sender != nullptr) {
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
}

void PaintManager::addOptionGroup(const std::string& group, CControlUI* control) {
    auto& members = option_groups_[group];
    if (std::find(members.begin(), members.end(), control) == members.end()) {
        members.push_back(control);
    }
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
    if (EqualsNoCase(name, "size")) {
        init_size_ = ParsePair(value);
        if (root_ == nullptr && on_resize_window) {
            on_resize_window(init_size_);
        }
    } else if (EqualsNoCase(name, "sizebox")) {
        size_box_ = ParseRect(value);
    } else if (EqualsNoCase(name, "caption")) {
        caption_ = ParseRect(value);
    } else if (EqualsNoCase(name, "roundcorner")) {
        round_corner_ = ParsePair(value);
    } else if (EqualsNoCase(name, "mininfo")) {
        min_info_ = ParsePair(value);
    } else if (EqualsNoCase(name, "maxinfo")) {
        max_info_ = ParsePair(value);
    } else if (EqualsNoCase(name, "showdirty")) {
        show_dirty_ = ParseBool(value);
    } else if (name == "noactivate") {
        no_activate_ = ParseBool(value);
    } else if (EqualsNoCase(name, "opacity")) {
        opacity_ = std::clamp(ParseInt(value), 0, 255);
    } else if (name == "layeredopacity") {
        layered_opacity_ = std::clamp(ParseInt(value), 0, 255);
    } else if (name == "layeredimage") {
        layered_ = true;
        layered_image_.setText(value);
    } else if (EqualsNoCase(name, "disabledfontcolor")) {
        disabled_color_ = ParseColor(value);
    } else if (EqualsNoCase(name, "defaultfontcolor")) {
        font_color_ = ParseColor(value);
    } else if (EqualsNoCase(name, "linkfontcolor")) {
        link_color_ = ParseColor(value);
    } else if (EqualsNoCase(name, "linkhoverfontcolor")) {
        link_hover_color_ = ParseColor(value);
    } else if (EqualsNoCase(name, "selectedcolor")) {
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

// Window runtime. Placeholders until the runtime lands: nothing is handled yet.
void PaintManager::init(INativeWindowLayer* layer, NativeWindowId window, std::string_view name) {
    init(static_cast<void*>(nullptr), name);
    layer_ = layer;
    native_window_ = window;
}

bool PaintManager::messageHandler(UINT, WPARAM, LPARAM, LRESULT&) {
    return false;
}
bool PaintManager::preMessageHandler(UINT, WPARAM, LPARAM, LRESULT&) {
    return false;
}
bool PaintManager::translateMessage(const NativeMessage&) {
    return false;
}
void PaintManager::addPreMessageFilter(IMessageFilterUI*) {}
void PaintManager::removePreMessageFilter(IMessageFilterUI*) {}
void PaintManager::addMessageFilter(IMessageFilterUI*) {}
void PaintManager::removeMessageFilter(IMessageFilterUI*) {}
CControlUI* PaintManager::findControl(UiPoint) const {
    return nullptr;
}
bool PaintManager::setTimer(CControlUI*, UINT, UINT) {
    return false;
}
bool PaintManager::killTimer(CControlUI*, UINT) {
    return false;
}
void PaintManager::killTimers(CControlUI*) {}
void PaintManager::removeAllTimers() {}
void PaintManager::setFocus(CControlUI* control, bool) {
    setFocus(control);
}
bool PaintManager::focusNext(bool) {
    return false;
}
void PaintManager::invalidateAll() {}
void PaintManager::setCapture() {
    captured_ = true;
}
void PaintManager::releaseCapture() {
    captured_ = false;
}
void PaintManager::reapObjects(CControlUI* control) {
    releaseControl(control);
}

} // namespace inkwarden

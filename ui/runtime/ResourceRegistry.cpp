#include "ui/runtime/ResourceRegistry.h"

namespace inkwarden {
namespace {

// The system's default GUI face, for windows whose skin names no default font.
constexpr const char* SYSTEM_FONT_FACE = "Sans";
constexpr int SYSTEM_FONT_SIZE = 12;

// Process-wide state: set up before the first window, unguarded like the rest.
std::map<std::string, ResourceRegistry::FontSlot>& SharedFonts() {
    static std::map<std::string, ResourceRegistry::FontSlot> fonts;
    return fonts;
}

std::unique_ptr<FontEntry>& SharedDefaultFont() {
    static std::unique_ptr<FontEntry> font;
    return font;
}

std::map<std::string, ResourceRegistry::ImageRegistration>& SharedImages() {
    static std::map<std::string, ResourceRegistry::ImageRegistration> images;
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

// The window's own entry, else the shared one, else nothing.
template <typename Own, typename Shared>
auto FindOwnThenShared(Own& own, Shared& shared, const std::string& key)
    -> decltype(&own.begin()->second) {
    if (auto it = own.find(key); it != own.end()) {
        return &it->second;
    }
    if (auto it = shared.find(key); it != shared.end()) {
        return &it->second;
    }
    return nullptr;
}

} // namespace

FontEntry* ResourceRegistry::FontSlot::get() {
    if (!made) {
        made = true;
        font = FontEntry::create(face, size, bold, underline, italic);
    }
    return font.get();
}

FontEntry* ResourceRegistry::addFont(int id, const std::string& face, int size, bool bold,
                                     bool underline, bool italic, bool shared) {
    FontSlot slot{face, size, bold, underline, italic, nullptr, false};
    FontEntry* result = slot.get();
    if (result == nullptr) {
        return nullptr;
    }
    auto& map = shared ? SharedFonts() : fonts_;
    // Replacing an id destroys the old font.
    map[std::to_string(id)] = std::move(slot);
    return result;
}

void ResourceRegistry::declareFont(int id, const std::string& face, int size, bool bold,
                                   bool underline, bool italic, bool shared) {
    auto& map = shared ? SharedFonts() : fonts_;
    map[std::to_string(id)] = FontSlot{face, size, bold, underline, italic, nullptr, false};
}

void ResourceRegistry::setDefaultFont(const std::string& face, int size, bool bold, bool underline,
                                      bool italic, bool shared) {
    std::unique_ptr<FontEntry> font = FontEntry::create(face, size, bold, underline, italic);
    if (font == nullptr) {
        return;
    }
    (shared ? SharedDefaultFont() : default_font_) = std::move(font);
}

FontEntry* ResourceRegistry::getFont(int id) {
    const std::string key = std::to_string(id);
    // A font whose face resolved to nothing counts as not registered.
    for (auto* map : {&fonts_, &SharedFonts()}) {
        if (auto it = map->find(key); it != map->end()) {
            if (FontEntry* font = it->second.get()) {
                return font;
            }
        }
    }
    return getDefaultFont();
}

FontEntry* ResourceRegistry::getDefaultFont() {
    if (default_font_ != nullptr) {
        return default_font_.get();
    }
    std::unique_ptr<FontEntry>& shared = SharedDefaultFont();
    if (shared == nullptr) {
        shared = FontEntry::create(SYSTEM_FONT_FACE, SYSTEM_FONT_SIZE, false, false, false);
    }
    return shared.get();
}

void ResourceRegistry::removeAllSharedFonts() {
    SharedFonts().clear();
    SharedDefaultFont().reset();
}

void ResourceRegistry::addImage(const std::string& name, const std::string& res_type,
                                std::uint32_t mask, bool shared) {
    if (name.empty()) {
        return;
    }
    (shared ? SharedImages() : images_)[name] = ImageRegistration{name, res_type, mask, shared};
}

const ResourceRegistry::ImageRegistration*
ResourceRegistry::getImage(const std::string& name) const {
    return FindOwnThenShared(images_, SharedImages(), name);
}

void ResourceRegistry::addDefaultAttributeList(const std::string& control_class,
                                               const std::string& list, bool shared) {
    (shared ? SharedDefaultAttributes() : default_attributes_)[control_class] = list;
}

const std::string*
ResourceRegistry::getDefaultAttributeList(const std::string& control_class) const {
    return FindOwnThenShared(default_attributes_, SharedDefaultAttributes(), control_class);
}

void ResourceRegistry::removeAllSharedDefaultAttributeLists() {
    SharedDefaultAttributes().clear();
    SharedImages().clear();
}

void ResourceRegistry::setText(int id, const std::string& text) {
    TextTable()[id] = text;
}

const std::string* ResourceRegistry::getText(int id) {
    auto it = TextTable().find(id);
    return it == TextTable().end() ? nullptr : &it->second;
}

void ResourceRegistry::removeAllTexts() {
    TextTable().clear();
}

} // namespace inkwarden

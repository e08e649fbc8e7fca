#include "ui/controls/DialogBuilder.h"

#include "platform/TextEncoding.h"
#include "ui/controls/CButtonUI.h"
#include "ui/controls/CCheckBoxUI.h"
#include "ui/controls/CContainerUI.h"
#include "ui/controls/CControlUI.h"
#include "ui/controls/CEditUI.h"
#include "ui/controls/CHorizontalLayoutUI.h"
#include "ui/controls/CLabelUI.h"
#include "ui/controls/COptionUI.h"
#include "ui/controls/CProgressUI.h"
#include "ui/controls/CTabLayoutUI.h"
#include "ui/controls/CTextUI.h"
#include "ui/controls/CVerticalLayoutUI.h"
#include "ui/controls/IContainerUI.h"
#include "ui/controls/IDialogBuilderCallback.h"
#include "ui/markup/ColorFormat.h"
#include "ui/markup/ModuleResources.h"
#include "ui/markup/ValueFormats.h"
#include "ui/runtime/PaintManager.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace inkwarden {
namespace {

std::vector<DialogBuilder::ControlFactory>& Factories() {
    static std::vector<DialogBuilder::ControlFactory> factories;
    return factories;
}

bool Is(std::string_view a, std::string_view b) {
    return EqualsIgnoringAsciiCase(a, b);
}

DialogBuilder::TextTranslator g_translator = nullptr;

// Attribute lookup of the resource elements, whose names match in any case; nothing when
// the element has no such attribute.
const char* FindAttributeNoCase(MarkupNode& node, const char* name) {
    const int count = node.attributeCount();
    for (int i = 0; i < count; ++i) {
        if (Is(node.attributeName(i), name)) {
            return node.attributeValue(i);
        }
    }
    return nullptr;
}

const char* AttributeNoCase(MarkupNode& node, const char* name) {
    const char* value = FindAttributeNoCase(node, name);
    return value != nullptr ? value : "";
}

int IntAttribute(MarkupNode& node, const char* name, int fallback) {
    const char* value = FindAttributeNoCase(node, name);
    return value != nullptr ? ParseInt(value) : fallback;
}

bool BoolAttribute(MarkupNode& node, const char* name) {
    return ParseBoolAnyCase(AttributeNoCase(node, name));
}

// The element names the builder knows itself, and the classes they make.
struct BuiltInClass {
    std::string_view element;
    CControlUI* (*make)();
};

template <typename Control> CControlUI* Make() {
    return new Control;
}

constexpr BuiltInClass BUILT_IN_CLASSES[] = {
    {"Text", Make<CTextUI>},
    {"Edit", Make<CEditUI>},
    {"Label", Make<CLabelUI>},
    {"Button", Make<CButtonUI>},
    {"Option", Make<COptionUI>},
    {"Control", Make<CControlUI>},
    {"CheckBox", Make<CCheckBoxUI>},
    {"Progress", Make<CProgressUI>},
    {"TabLayout", Make<CTabLayoutUI>},
    {"Container", Make<CContainerUI>},
    {"VerticalLayout", Make<CVerticalLayoutUI>},
    {"HorizontalLayout", Make<CHorizontalLayoutUI>},
};

bool IsResourceElement(const char* name) {
    return Is(name, "Image") || Is(name, "Font") || Is(name, "Default") ||
           Is(name, "MultiLanguage");
}

} // namespace

void DialogBuilder::registerFactory(ControlFactory factory) {
    auto& list = Factories();
    if (factory != nullptr && std::find(list.begin(), list.end(), factory) == list.end()) {
        list.push_back(factory);
    }
}

void DialogBuilder::unregisterFactory(ControlFactory factory) {
    std::erase(Factories(), factory);
}

CControlUI* DialogBuilder::createBuiltIn(const char* name) {
    // The length first, as most names differ there.
    const std::string_view wanted(name);
    for (const BuiltInClass& known : BUILT_IN_CLASSES) {
        if (known.element.size() == wanted.size() && Is(name, known.element)) {
            return known.make();
        }
    }
    return nullptr;
}

CControlUI* DialogBuilder::create(int resource_id, const char* type,
                                  IDialogBuilderCallback* callback, PaintManager* manager,
                                  CControlUI* parent) {
    callback_ = callback;
    resource_type_ = type != nullptr ? type : "xml";
    error_.clear();
    std::span<const unsigned char> bytes = ModuleResources::find(resource_type_, resource_id);
    if (bytes.empty()) {
        return nullptr;
    }
    if (!markup_.loadFromMemory(bytes.data(), bytes.size(), TextEncoding::Utf8)) {
        return nullptr;
    }
    return build(manager, parent, "#" + std::to_string(resource_id));
}

CControlUI* DialogBuilder::create(const std::string& source, IDialogBuilderCallback* callback,
                                  PaintManager* manager, CControlUI* parent) {
    callback_ = callback;
    resource_type_ = nullptr;
    error_.clear();
    const bool loaded = !source.empty() && source[0] == '<'
                            ? markup_.loadFromString(source)
                            : markup_.loadFromFile(source, TextEncoding::Utf8);
    if (!loaded) {
        return nullptr;
    }
    return build(manager, parent, source[0] == '<' ? std::string() : source);
}

CControlUI* DialogBuilder::build(PaintManager* manager, CControlUI* parent,
                                 const std::string& source_key) {
    MarkupNode root = markup_.root();
    if (!root.isValid()) {
        return nullptr; // loaded, but no root element
    }
    if (manager != nullptr) {
        registerResources(root, manager);
    }
    // The root Window's attributes go to the window, in document order.
    if (manager != nullptr && manager->hasWindow() && Is(root.name(), "Window")) {
        const int count = root.attributeCount();
        for (int i = 0; i < count; ++i) {
            manager->setWindowAttribute(root.attributeName(i), root.attributeValue(i));
        }
    }
    failed_ = false;
    include_chain_.push_back(source_key);
    CControlUI* result = parse(root, parent, manager, 0);
    include_chain_.pop_back();
    return result;
}

void DialogBuilder::registerResources(MarkupNode& root, PaintManager* manager) {
    for (MarkupNode node = root.firstChild(); node.isValid(); node = node.nextSibling()) {
        const char* name = node.name();
        if (Is(name, "Font")) {
            registerFont(node, manager);
        } else if (Is(name, "Image")) {
            const std::string image = AttributeNoCase(node, "name");
            if (!image.empty()) {
                manager->addImage(image, AttributeNoCase(node, "restype"),
                                  ParseColor(AttributeNoCase(node, "mask")),
                                  BoolAttribute(node, "shared"));
            }
        } else if (Is(name, "Default")) {
            const std::string control_class = AttributeNoCase(node, "name");
            if (!control_class.empty()) {
                manager->addDefaultAttributeList(control_class, AttributeNoCase(node, "value"),
                                                 BoolAttribute(node, "shared"));
            }
        } else if (Is(name, "MultiLanguage")) {
            const int id = IntAttribute(node, "id", -1);
            const std::string value = AttributeNoCase(node, "value");
            if (id >= 0 && !value.empty()) {
                PaintManager::setMultiLanguageString(id, value);
            }
        }
    }
}

void DialogBuilder::registerFont(MarkupNode& node, PaintManager* manager) {
    const int id = IntAttribute(node, "id", -1);
    const std::string face = AttributeNoCase(node, "name");
    if (id < 0 || face.empty()) {
        return;
    }
    const int size = IntAttribute(node, "size", DEFAULT_FONT_SIZE);
    const bool bold = BoolAttribute(node, "bold");
    const bool underline = BoolAttribute(node, "underline");
    const bool italic = BoolAttribute(node, "italic");
    const bool shared = BoolAttribute(node, "shared");
    manager->declareFont(id, face, size, bold, underline, italic, shared);
    if (BoolAttribute(node, "default")) {
        manager->setDefaultFont(face, size, bold, underline, italic, shared);
    }
}

CControlUI* DialogBuilder::parse(MarkupNode& root, CControlUI* parent, PaintManager* manager,
                                 int depth) {
    if (depth_base_ + depth >= MAX_NESTING && root.hasChildren()) {
        error_ = "Controls nested too deeply";
        failed_ = true;
        return nullptr;
    }
    Level level;
    level.parent = parent;
    level.manager = manager;
    level.depth = depth;
    for (MarkupNode node = root.firstChild(); node.isValid(); node = node.nextSibling()) {
        const char* name = node.name();
        if (IsResourceElement(name)) {
            continue; // registered before
        }
        if (Is(name, "Include")) {
            buildInclude(node, level);
            continue;
        }
        if (!buildControl(node, level)) {
            return nullptr;
        }
    }
    return level.result;
}

void DialogBuilder::buildInclude(MarkupNode& node, Level& level) {
    // Another document, built `count` times into the same parent.
    if (!node.hasAttribute("source")) {
        return;
    }
    const int count = IntAttribute(node, "count", 1);
    const std::string source = node.attributeValue("source");
    const std::string key =
        resource_type_ != nullptr ? "#" + std::to_string(ParseInt(source)) : source;
    // A source that is already being built would include itself without end.
    if (std::find(include_chain_.begin(), include_chain_.end(), key) != include_chain_.end()) {
        return;
    }
    for (int i = 0; i < count; ++i) {
        DialogBuilder inner;
        inner.include_chain_ = include_chain_;
        inner.depth_base_ = depth_base_ + level.depth + 1;
        CControlUI* made = resource_type_ != nullptr
                               ? inner.create(ParseInt(source), resource_type_, callback_,
                                              level.manager, level.parent)
                               : inner.create(source, callback_, level.manager, level.parent);
        level.keep(made);
    }
}

bool DialogBuilder::buildControl(MarkupNode& node, Level& level) {
    const char* name = node.name();
    CControlUI* control = createControl(name);
    if (control == nullptr) {
        return true; // the element and its subtree are skipped
    }
    std::unique_ptr<CControlUI> owned(control);
    // Children first, so that they are in place before the control's own attributes apply.
    if (node.hasChildren()) {
        parse(node, control, level.manager, level.depth + 1);
        if (failed_) {
            if (level.parent == nullptr) {
                delete level.result;
            }
            return false;
        }
    }
    if (level.parent != nullptr) {
        switch (attachToParent(node, owned, level.parent)) {
        case Attach::FAILED:
            return false; // the parent's earlier children stay with the parent
        case Attach::REFUSED:
            return true;
        case Attach::DONE:
            break;
        }
    }
    if (level.manager != nullptr) {
        applyAttributes(node, *control, level);
    }
    // The first control of this level is the result.
    if (level.result == nullptr) {
        level.result = control;
        owned.release();
    } else if (owned != nullptr) {
        level.orphans.push_back(std::move(owned));
    }
    return true;
}

CControlUI* DialogBuilder::createControl(const char* name) {
    // Built-in classes, then the plug-ins in order, then the callback.
    CControlUI* control = createBuiltIn(name);
    for (ControlFactory factory : Factories()) {
        if (control != nullptr) {
            break;
        }
        control = factory(name);
    }
    if (control == nullptr && callback_ != nullptr) {
        control = callback_->createControl(name);
    }
    return control;
}

DialogBuilder::Attach DialogBuilder::attachToParent(MarkupNode& node,
                                                    std::unique_ptr<CControlUI>& owned,
                                                    CControlUI* parent) {
    if (ParseBool(node.attributeValue("cover"))) {
        parent->setCover(owned.release());
        return Attach::DONE;
    }
    auto* container = static_cast<IContainerUI*>(parent->getInterface("IContainer"));
    if (container == nullptr) {
        failed_ = true;
        return Attach::FAILED;
    }
    if (!container->add(owned.get())) {
        return Attach::REFUSED; // destroyed with `owned`
    }
    owned.release();
    return Attach::DONE;
}

void DialogBuilder::setTextTranslator(TextTranslator translator) {
    g_translator = translator;
}

bool DialogBuilder::isTranslatedAttribute(const char* name) {
    return Is(name, "text") || Is(name, "tooltip") || Is(name, "accessiblename");
}

void DialogBuilder::applyAttributes(MarkupNode& node, CControlUI& control, const Level& level) {
    // The manager is set for the attributes' duration only: attaching the whole tree later
    // registers the names.
    PaintManager* manager = level.manager;
    control.setManager(manager, level.parent, false);
    const std::string* defaults = manager->getDefaultAttributeList(node.name());
    if (defaults == nullptr) {
        defaults = manager->getDefaultAttributeList(control.getClass());
    }
    if (defaults != nullptr) {
        control.applyAttributeList(*defaults);
    }
    const int count = node.attributeCount();
    for (int i = 0; i < count; ++i) {
        const char* name = node.attributeName(i);
        const char* value = node.attributeValue(i);
        if (g_translator != nullptr && *value != '\0' && isTranslatedAttribute(name)) {
            value = g_translator(value);
        }
        control.setAttribute(name, value);
    }
    control.setManager(nullptr, level.parent, false);
}

void DialogBuilder::Level::keep(CControlUI* made) {
    if (made != nullptr && result == nullptr) {
        result = made;
    } else if (made != nullptr && parent == nullptr) {
        orphans.emplace_back(made);
    }
}

} // namespace inkwarden

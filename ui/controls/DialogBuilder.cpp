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

bool Is(const char* a, const char* b) {
    return EqualsIgnoringAsciiCase(a, b);
}

// Attribute lookup of the resource elements, whose names match in any case.
const char* AttributeNoCase(MarkupNode& node, const char* name, const char* fallback = "") {
    const int count = node.attributeCount();
    for (int i = 0; i < count; ++i) {
        if (Is(node.attributeName(i), name)) {
            return node.attributeValue(i);
        }
    }
    return fallback;
}

int IntAttribute(MarkupNode& node, const char* name, int fallback) {
    const int count = node.attributeCount();
    for (int i = 0; i < count; ++i) {
        if (Is(node.attributeName(i), name)) {
            return ParseInt(node.attributeValue(i));
        }
    }
    return fallback;
}

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
    // Dispatched on the length first, as most names differ there.
    switch (std::strlen(name)) {
    case 4:
        if (Is(name, "Text")) {
            return new CTextUI;
        }
        if (Is(name, "Edit")) {
            return new CEditUI;
        }
        break;
    case 5:
        if (Is(name, "Label")) {
            return new CLabelUI;
        }
        break;
    case 6:
        if (Is(name, "Button")) {
            return new CButtonUI;
        }
        if (Is(name, "Option")) {
            return new COptionUI;
        }
        break;
    case 7:
        if (Is(name, "Control")) {
            return new CControlUI;
        }
        break;
    case 8:
        if (Is(name, "CheckBox")) {
            return new CCheckBoxUI;
        }
        if (Is(name, "Progress")) {
            return new CProgressUI;
        }
        break;
    case 9:
        if (Is(name, "TabLayout")) {
            return new CTabLayoutUI;
        }
        if (Is(name, "Container")) {
            return new CContainerUI;
        }
        break;
    case 14:
        if (Is(name, "VerticalLayout")) {
            return new CVerticalLayoutUI;
        }
        break;
    case 16:
        if (Is(name, "HorizontalLayout")) {
            return new CHorizontalLayoutUI;
        }
        break;
    default:
        break;
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
    // 1. A loaded document with a root element.
    MarkupNode root = markup_.root();
    if (!root.isValid()) {
        return nullptr;
    }
    // 2. Resources.
    if (manager != nullptr) {
        registerResources(root, manager);
    }
    // 3. The root Window's attributes, in document order.
    if (manager != nullptr && manager->hasWindow() && Is(root.name(), "Window")) {
        const int count = root.attributeCount();
        for (int i = 0; i < count; ++i) {
            manager->setWindowAttribute(root.attributeName(i), root.attributeValue(i));
        }
    }
    // 4. The controls.
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
            const int id = IntAttribute(node, "id", -1);
            const std::string face = AttributeNoCase(node, "name");
            const int size = IntAttribute(node, "size", 12);
            const bool bold = ParseBoolAnyCase(AttributeNoCase(node, "bold"));
            const bool underline = ParseBoolAnyCase(AttributeNoCase(node, "underline"));
            const bool italic = ParseBoolAnyCase(AttributeNoCase(node, "italic"));
            const bool is_default = ParseBoolAnyCase(AttributeNoCase(node, "default"));
            const bool shared = ParseBoolAnyCase(AttributeNoCase(node, "shared"));
            if (id >= 0 && !face.empty()) {
                manager->addFont(id, face, size, bold, underline, italic, shared);
                if (is_default) {
                    manager->setDefaultFont(face, size, bold, underline, italic, shared);
                }
            }
        } else if (Is(name, "Image")) {
            const std::string image = AttributeNoCase(node, "name");
            const std::string res_type = AttributeNoCase(node, "restype");
            const std::uint32_t mask = ParseColor(AttributeNoCase(node, "mask"));
            const bool shared = ParseBoolAnyCase(AttributeNoCase(node, "shared"));
            if (!image.empty()) {
                manager->addImage(image, res_type, mask, shared);
            }
        } else if (Is(name, "Default")) {
            const std::string control_class = AttributeNoCase(node, "name");
            const std::string value = AttributeNoCase(node, "value");
            const bool shared = ParseBoolAnyCase(AttributeNoCase(node, "shared"));
            if (!control_class.empty()) {
                manager->addDefaultAttributeList(control_class, value, shared);
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

CControlUI* DialogBuilder::parse(MarkupNode& root, CControlUI* parent, PaintManager* manager,
                                 int depth) {
    if (depth_base_ + depth >= MAX_NESTING && root.hasChildren()) {
        error_ = "Controls nested too deeply";
        failed_ = true;
        return nullptr;
    }
    CControlUI* result = nullptr;
    // Top-level controls without a parent beyond the first have no owner; they go here.
    std::vector<std::unique_ptr<CControlUI>> orphans;
    for (MarkupNode node = root.firstChild(); node.isValid(); node = node.nextSibling()) {
        const char* name = node.name();
        // 4.1 Resources were handled before.
        if (IsResourceElement(name)) {
            continue;
        }
        // 4.2 Include: another document built into the same parent.
        if (Is(name, "Include")) {
            if (!node.hasAttribute("source")) {
                continue;
            }
            const int count = IntAttribute(node, "count", 1);
            const std::string source = node.attributeValue("source");
            const std::string key =
                resource_type_ != nullptr ? "#" + std::to_string(ParseInt(source)) : source;
            // A source that is already being built would include itself without end.
            if (std::find(include_chain_.begin(), include_chain_.end(), key) !=
                include_chain_.end()) {
                continue;
            }
            for (int i = 0; i < count; ++i) {
                DialogBuilder inner;
                inner.include_chain_ = include_chain_;
                inner.depth_base_ = depth_base_ + depth + 1;
                CControlUI* made =
                    resource_type_ != nullptr
                        ? inner.create(ParseInt(source), resource_type_, callback_, manager, parent)
                        : inner.create(source, callback_, manager, parent);
                if (made != nullptr && result == nullptr) {
                    result = made;
                } else if (made != nullptr && parent == nullptr) {
                    orphans.emplace_back(made);
                }
            }
            continue;
        }
        // 4.3 The control class: built-in, plug-ins, then the callback.
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
        if (control == nullptr) {
            continue; // the element and its subtree are skipped
        }
        std::unique_ptr<CControlUI> owned(control);
        // 4.4 Children first.
        if (node.hasChildren()) {
            parse(node, control, manager, depth + 1);
            if (failed_) {
                if (parent == nullptr) {
                    delete result;
                }
                return nullptr;
            }
        }
        // 4.5 Attach to the parent.
        if (parent != nullptr) {
            if (ParseBool(node.attributeValue("cover"))) {
                parent->setCover(owned.release());
            } else {
                auto* container = static_cast<IContainerUI*>(parent->getInterface("IContainer"));
                if (container == nullptr) {
                    failed_ = true;
                    return nullptr; // parent's earlier children stay with the parent
                }
                if (!container->add(control)) {
                    continue;
                }
                owned.release();
            }
        }
        // 4.6 Attributes, with the manager set for their duration only.
        if (manager != nullptr) {
            control->setManager(manager, parent, false);
            const std::string* defaults = manager->getDefaultAttributeList(name);
            if (defaults == nullptr) {
                defaults = manager->getDefaultAttributeList(control->getClass());
            }
            if (defaults != nullptr) {
                control->applyAttributeList(*defaults);
            }
            const int count = node.attributeCount();
            for (int i = 0; i < count; ++i) {
                control->setAttribute(node.attributeName(i), node.attributeValue(i));
            }
            control->setManager(nullptr, parent, false);
        }
        // 4.7 The first control of this level is the result.
        if (result == nullptr) {
            result = control;
            owned.release();
        } else if (owned != nullptr) {
            orphans.push_back(std::move(owned));
        }
    }
    return result;
}

} // namespace inkwarden

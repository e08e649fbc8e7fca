#pragma once

#include "ui/MarkupDocument.h"
#include "ui/MarkupNode.h"

#include <string>
#include <vector>

namespace inkwarden {

class CControlUI;
class IDialogBuilderCallback;
class PaintManager;

// Turns a skin document into a control tree: resources into the manager, the root Window's
// attributes into the manager's window attributes, one control per element.
class DialogBuilder {
public:
    using ControlFactory = CControlUI* (*)(const char* name);

    DialogBuilder() = default;

    // From a module resource of `type` ("xml" when null).
    CControlUI* create(int resource_id, const char* type = nullptr,
                       IDialogBuilderCallback* callback = nullptr, PaintManager* manager = nullptr,
                       CControlUI* parent = nullptr);
    // From markup text (starting with "<") or a skin file name.
    CControlUI* create(const std::string& source, IDialogBuilderCallback* callback = nullptr,
                       PaintManager* manager = nullptr, CControlUI* parent = nullptr);

    MarkupDocument& getMarkup() { return markup_; }
    // The load error, when create failed on loading.
    std::string lastErrorMessage() const { return markup_.lastErrorMessage(); }

    // Process-wide plug-in factories, asked before the callback.
    static void registerFactory(ControlFactory factory);
    static void unregisterFactory(ControlFactory factory);

    // The built-in element-to-class map (any case); nothing for unknown names.
    static CControlUI* createBuiltIn(const char* name);

private:
    CControlUI* build(PaintManager* manager, CControlUI* parent);
    CControlUI* parse(MarkupNode& root, CControlUI* parent, PaintManager* manager);
    void registerResources(MarkupNode& root, PaintManager* manager);

    MarkupDocument markup_;
    IDialogBuilderCallback* callback_ = nullptr;
    const char* resource_type_ = nullptr; // set when the document came from a resource
    bool failed_ = false;
};

} // namespace inkwarden

#pragma once

#include "ui/markup/MarkupDocument.h"
#include "ui/markup/MarkupNode.h"

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

    // Deeper trees fail the build: every pass over the tree recurses per level.
    static constexpr int MAX_NESTING = 256;

    DialogBuilder() = default;

    // From a module resource of `type` ("xml" when null).
    CControlUI* create(int resource_id, const char* type = nullptr,
                       IDialogBuilderCallback* callback = nullptr, PaintManager* manager = nullptr,
                       CControlUI* parent = nullptr);
    // From markup text (starting with "<") or a skin file name.
    CControlUI* create(const std::string& source, IDialogBuilderCallback* callback = nullptr,
                       PaintManager* manager = nullptr, CControlUI* parent = nullptr);

    MarkupDocument& getMarkup() { return markup_; }
    // Why create failed: the load error, or the builder's own.
    std::string lastErrorMessage() const {
        return error_.empty() ? markup_.lastErrorMessage() : error_;
    }

    // Process-wide plug-in factories, asked before the callback.
    static void registerFactory(ControlFactory factory);
    static void unregisterFactory(ControlFactory factory);

    // The built-in element-to-class map (any case); nothing for unknown names.
    static CControlUI* createBuiltIn(const char* name);

private:
    CControlUI* build(PaintManager* manager, CControlUI* parent, const std::string& source_key);
    CControlUI* parse(MarkupNode& root, CControlUI* parent, PaintManager* manager, int depth);
    void registerResources(MarkupNode& root, PaintManager* manager);

    MarkupDocument markup_;
    IDialogBuilderCallback* callback_ = nullptr;
    const char* resource_type_ = nullptr; // set when the document came from a resource
    bool failed_ = false;
    std::string error_;
    // The sources being built, outermost first, so that an Include cannot loop.
    std::vector<std::string> include_chain_;
    int depth_base_ = 0; // nesting of the Include that started this builder
};

} // namespace inkwarden

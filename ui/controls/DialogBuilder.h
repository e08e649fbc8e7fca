#pragma once

#include "ui/markup/MarkupDocument.h"
#include "ui/markup/MarkupNode.h"

#include <memory>
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
    // The size of a Font element without one.
    static constexpr int DEFAULT_FONT_SIZE = 12;

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

    // Process-wide: the skin's words (text, tooltip, accessiblename) go through this on
    // their way into the controls, so a skin is written once for every language. Null: as
    // written.
    using TextTranslator = const char* (*)(const char* text);
    static void setTextTranslator(TextTranslator translator);
    static bool isTranslatedAttribute(const char* name);

private:
    // One level of the tree being built: where its controls go and what it made.
    struct Level {
        CControlUI* parent = nullptr;
        PaintManager* manager = nullptr;
        int depth = 0;
        CControlUI* result = nullptr; // the first control made at this level
        // Top-level controls beyond the first have no owner without a parent; they go here.
        std::vector<std::unique_ptr<CControlUI>> orphans;

        // Takes a control made at this level: the first is the result.
        void keep(CControlUI* made);
    };
    enum class Attach { DONE, REFUSED, FAILED };

    CControlUI* build(PaintManager* manager, CControlUI* parent, const std::string& source_key);
    void registerResources(MarkupNode& root, PaintManager* manager);
    void registerFont(MarkupNode& node, PaintManager* manager);
    // Builds the children of root into parent; nothing when the build failed.
    CControlUI* parse(MarkupNode& root, CControlUI* parent, PaintManager* manager, int depth);
    void buildInclude(MarkupNode& node, Level& level);
    // False when the whole build fails.
    bool buildControl(MarkupNode& node, Level& level);
    CControlUI* createControl(const char* name);
    // Hands the control to its parent, as its cover or through its container interface.
    Attach attachToParent(MarkupNode& node, std::unique_ptr<CControlUI>& owned, CControlUI* parent);
    void applyAttributes(MarkupNode& node, CControlUI& control, const Level& level);

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

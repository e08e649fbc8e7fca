#pragma once

#include "ui/native/IAccessibleTree.h"

#include <map>
#include <unordered_map>
#include <vector>

namespace inkwarden {

class CControlUI;
class PaintManager;

// A paint manager's control tree as an accessible tree: every control that shows is a node
// (pages of a tab layout are page tabs), with the role, name, states, value and default
// action its control gives. While a listener is set, each refresh compares the tree with
// the one last announced and announces the differences: children first, then names,
// values, texts and states, then the focus leaving one control and reaching the next.
// UI thread only.
class ControlAccessibility : public IAccessibleTree {
public:
    explicit ControlAccessibility(PaintManager& manager);
    ~ControlAccessibility() override;
    ControlAccessibility(const ControlAccessibility&) = delete;
    ControlAccessibility& operator=(const ControlAccessibility&) = delete;

    AccessibleId root() const override;
    AccessibleId parent(AccessibleId node) const override;
    std::vector<AccessibleId> children(AccessibleId node) const override;
    std::optional<AccessibleNode> describe(AccessibleId node) const override;
    AccessibleId focused() const override;
    AccessibleId hitTest(UiPoint point) const override;
    bool doDefaultAction(AccessibleId node) override;
    bool grabFocus(AccessibleId node) override;
    void setListener(IAccessibleListener* listener) override;

    bool isListening() const { return listener_ != nullptr; }
    // Announces what changed since the last refresh (the manager calls it after painting).
    void refresh();
    // The control goes away: its node is announced gone and its id retired.
    void forget(CControlUI* control);

    // The node of a control (given an id on first use), and back; 0 and null for none.
    AccessibleId idOf(CControlUI* control) const;
    CControlUI* controlOf(AccessibleId node) const;

private:
    struct Snapshot {
        AccessibleNode node;
        std::vector<AccessibleId> children;
    };
    // Ordered by id, which follows creation: announcements come in a stable order.
    using Tree = std::map<AccessibleId, Snapshot>;

    std::vector<CControlUI*> shownChildren(CControlUI* control) const;
    Tree takeSnapshot() const;
    void announce(const AccessibleEvent& event) const;
    // The events between the announced tree and the current one, in announcing order.
    std::vector<AccessibleEvent> differences(AccessibleId old_root, const Tree& old_tree,
                                             AccessibleId new_root, const Tree& new_tree) const;

    PaintManager& manager_;
    IAccessibleListener* listener_ = nullptr;
    mutable std::unordered_map<const CControlUI*, AccessibleId> ids_;
    mutable std::unordered_map<AccessibleId, CControlUI*> controls_;
    mutable AccessibleId next_id_ = 1;
    AccessibleId announced_root_ = 0;
    Tree announced_;
};

} // namespace inkwarden

#include "ui/runtime/ControlAccessibility.h"

#include "ui/controls/CControlUI.h"
#include "ui/controls/IContainerUI.h"
#include "ui/runtime/PaintManager.h"

#include <algorithm>
#include <utility>

namespace inkwarden {
namespace {

// The state bits in the order their changes are announced; focus comes last, by itself.
constexpr unsigned ANNOUNCED_STATES[] = {
    ACCESSIBLE_ENABLED,  ACCESSIBLE_FOCUSABLE, ACCESSIBLE_CHECKABLE,
    ACCESSIBLE_CHECKED,  ACCESSIBLE_SHOWING,   ACCESSIBLE_SELECTABLE,
    ACCESSIBLE_SELECTED, ACCESSIBLE_EDITABLE,  ACCESSIBLE_SINGLE_LINE};

AccessibleEvent ChildEvent(AccessibleEvent::Kind kind, AccessibleId parent, AccessibleId child,
                           int index) {
    AccessibleEvent event;
    event.kind = kind;
    event.node = parent;
    event.child = child;
    event.index = index;
    return event;
}

AccessibleEvent NodeEvent(AccessibleEvent::Kind kind, AccessibleId node, unsigned state = 0,
                          bool on = false) {
    AccessibleEvent event;
    event.kind = kind;
    event.node = node;
    event.state = state;
    event.on = on;
    return event;
}

int IndexOf(const std::vector<AccessibleId>& list, AccessibleId id) {
    const auto it = std::find(list.begin(), list.end(), id);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

// Children that left `before` and children that joined `after`, each with its index.
void ChildDifferences(AccessibleId parent, const std::vector<AccessibleId>& before,
                      const std::vector<AccessibleId>& after, std::vector<AccessibleEvent>& out) {
    for (std::size_t i = before.size(); i-- > 0;) {
        if (IndexOf(after, before[i]) < 0) {
            out.push_back(ChildEvent(AccessibleEvent::Kind::CHILD_REMOVED, parent, before[i],
                                     static_cast<int>(i)));
        }
    }
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (IndexOf(before, after[i]) < 0) {
            out.push_back(ChildEvent(AccessibleEvent::Kind::CHILD_ADDED, parent, after[i],
                                     static_cast<int>(i)));
        }
    }
}

void NodeDifferences(AccessibleId id, const AccessibleNode& before, const AccessibleNode& after,
                     std::vector<AccessibleEvent>& out) {
    if (before.name != after.name) {
        out.push_back(NodeEvent(AccessibleEvent::Kind::NAME, id));
    }
    if (before.value != after.value) {
        out.push_back(NodeEvent(AccessibleEvent::Kind::VALUE, id));
    }
    if (before.text != after.text) {
        out.push_back(NodeEvent(AccessibleEvent::Kind::TEXT, id));
    }
    for (unsigned bit : ANNOUNCED_STATES) {
        if ((before.states & bit) != (after.states & bit)) {
            out.push_back(
                NodeEvent(AccessibleEvent::Kind::STATE, id, bit, (after.states & bit) != 0));
        }
    }
}

} // namespace

ControlAccessibility::ControlAccessibility(PaintManager& manager) : manager_(manager) {}

ControlAccessibility::~ControlAccessibility() = default;

AccessibleId ControlAccessibility::idOf(CControlUI* control) const {
    if (control == nullptr) {
        return 0;
    }
    const auto [it, added] = ids_.emplace(control, next_id_);
    if (added) {
        controls_.emplace(next_id_, control);
        ++next_id_;
    }
    return it->second;
}

CControlUI* ControlAccessibility::controlOf(AccessibleId node) const {
    const auto it = controls_.find(node);
    return it == controls_.end() ? nullptr : it->second;
}

AccessibleId ControlAccessibility::root() const {
    CControlUI* root = manager_.getRoot();
    return root != nullptr && root->isVisible() ? idOf(root) : 0;
}

AccessibleId ControlAccessibility::parent(AccessibleId node) const {
    const CControlUI* control = controlOf(node);
    return control == nullptr || control == manager_.getRoot() ? 0 : idOf(control->getParent());
}

std::vector<CControlUI*> ControlAccessibility::shownChildren(CControlUI* control) const {
    std::vector<CControlUI*> shown;
    auto* container = static_cast<IContainerUI*>(control->getInterface("IContainer"));
    if (container == nullptr) {
        return shown;
    }
    for (int i = 0; i < container->getCount(); ++i) {
        CControlUI* child = container->getItemAt(i);
        if (child != nullptr && child->isVisible()) {
            shown.push_back(child);
        }
    }
    return shown;
}

std::vector<AccessibleId> ControlAccessibility::children(AccessibleId node) const {
    std::vector<AccessibleId> ids;
    if (CControlUI* control = controlOf(node)) {
        for (CControlUI* child : shownChildren(control)) {
            ids.push_back(idOf(child));
        }
    }
    return ids;
}

std::optional<AccessibleNode> ControlAccessibility::describe(AccessibleId node) const {
    const CControlUI* control = controlOf(node);
    if (control == nullptr) {
        return std::nullopt;
    }
    AccessibleNode out;
    out.role = control->getAccessibleRole();
    out.name = control->getAccessibleName();
    out.id = control->getName();
    out.states = control->getAccessibleStates();
    out.bounds = control->getPos();
    out.value = control->getAccessibleValue();
    out.text = control->getAccessibleText();
    out.action = control->getAccessibleAction();
    const CControlUI* parent = control->getParent();
    if (parent != nullptr && parent->getAccessibleRole() == AccessibleRole::PAGE_TAB_LIST) {
        // A tab layout's pages: the one that shows is the selected tab.
        out.role = AccessibleRole::PAGE_TAB;
        out.states |= ACCESSIBLE_SELECTABLE;
        if (control->isVisible()) {
            out.states |= ACCESSIBLE_SELECTED;
        }
    }
    return out;
}

AccessibleId ControlAccessibility::focused() const {
    CControlUI* focus = manager_.getFocus();
    return focus != nullptr && focus->isVisible() ? idOf(focus) : 0;
}

AccessibleId ControlAccessibility::hitTest(UiPoint point) const {
    AccessibleId found = 0;
    CControlUI* control = manager_.getRoot();
    // Down the tree: the last child that holds the point lies on top.
    while (control != nullptr && control->isVisible() && control->getPos().contains(point)) {
        found = idOf(control);
        const std::vector<CControlUI*> shown = shownChildren(control);
        const auto on_top = std::find_if(shown.rbegin(), shown.rend(), [point](CControlUI* c) {
            return c->getPos().contains(point);
        });
        control = on_top == shown.rend() ? nullptr : *on_top;
    }
    return found;
}

bool ControlAccessibility::doDefaultAction(AccessibleId node) {
    CControlUI* control = controlOf(node);
    if (control == nullptr || control->getAccessibleAction().empty()) {
        return false;
    }
    // What a click ends in; the control may be gone when it returns.
    return control->activate();
}

bool ControlAccessibility::grabFocus(AccessibleId node) {
    CControlUI* control = controlOf(node);
    if (control == nullptr || (control->getAccessibleStates() & ACCESSIBLE_FOCUSABLE) == 0 ||
        !control->isVisible()) {
        return false;
    }
    manager_.setFocusByKeyboard(control);
    return manager_.getFocus() == control;
}

void ControlAccessibility::setListener(IAccessibleListener* listener) {
    listener_ = listener;
    // The listener reads the tree as it is; later refreshes announce what changes.
    announced_root_ = listener_ != nullptr ? root() : 0;
    announced_ = listener_ != nullptr ? takeSnapshot() : Tree{};
}

ControlAccessibility::Tree ControlAccessibility::takeSnapshot() const {
    Tree tree;
    std::vector<AccessibleId> stack;
    if (const AccessibleId top = root(); top != 0) {
        stack.push_back(top);
    }
    while (!stack.empty()) {
        const AccessibleId id = stack.back();
        stack.pop_back();
        std::optional<AccessibleNode> node = describe(id);
        if (!node) {
            continue;
        }
        Snapshot& snapshot = tree[id];
        snapshot.node = std::move(*node);
        snapshot.children = children(id);
        stack.insert(stack.end(), snapshot.children.begin(), snapshot.children.end());
    }
    return tree;
}

std::vector<AccessibleEvent> ControlAccessibility::differences(AccessibleId old_root,
                                                               const Tree& old_tree,
                                                               AccessibleId new_root,
                                                               const Tree& new_tree) const {
    std::vector<AccessibleEvent> structure;
    std::vector<AccessibleEvent> properties;
    std::vector<AccessibleEvent> focus_lost;
    std::vector<AccessibleEvent> focus_gained;
    if (old_root != new_root) {
        ChildDifferences(0, old_root != 0 ? std::vector{old_root} : std::vector<AccessibleId>{},
                         new_root != 0 ? std::vector{new_root} : std::vector<AccessibleId>{},
                         structure);
    }
    for (const auto& [id, now] : new_tree) {
        const auto before = old_tree.find(id);
        const bool was_focused =
            before != old_tree.end() && (before->second.node.states & ACCESSIBLE_FOCUSED) != 0;
        const bool is_focused = (now.node.states & ACCESSIBLE_FOCUSED) != 0;
        if (was_focused && !is_focused) {
            focus_lost.push_back(NodeEvent(AccessibleEvent::Kind::STATE, id, ACCESSIBLE_FOCUSED));
        } else if (!was_focused && is_focused) {
            focus_gained.push_back(
                NodeEvent(AccessibleEvent::Kind::STATE, id, ACCESSIBLE_FOCUSED, true));
        }
        // A node that has just come into view is read afresh through its parent's news.
        if (before == old_tree.end()) {
            continue;
        }
        ChildDifferences(id, before->second.children, now.children, structure);
        NodeDifferences(id, before->second.node, now.node, properties);
    }
    // A focused control that went out of view has lost the focus as well.
    for (const auto& [id, before] : old_tree) {
        if ((before.node.states & ACCESSIBLE_FOCUSED) != 0 && new_tree.count(id) == 0 &&
            controlOf(id) != nullptr) {
            focus_lost.push_back(NodeEvent(AccessibleEvent::Kind::STATE, id, ACCESSIBLE_FOCUSED));
        }
    }
    std::vector<AccessibleEvent> events = std::move(structure);
    for (auto* part : {&properties, &focus_lost, &focus_gained}) {
        events.insert(events.end(), part->begin(), part->end());
    }
    return events;
}

void ControlAccessibility::refresh() {
    if (listener_ == nullptr) {
        return;
    }
    Tree now = takeSnapshot();
    const AccessibleId now_root = root();
    const std::vector<AccessibleEvent> events =
        differences(announced_root_, announced_, now_root, now);
    // Kept before announcing: a listener that reads the tree sees it as announced.
    announced_ = std::move(now);
    announced_root_ = now_root;
    for (const AccessibleEvent& event : events) {
        announce(event);
    }
}

void ControlAccessibility::forget(CControlUI* control) {
    const auto it = ids_.find(control);
    if (it == ids_.end()) {
        return;
    }
    const AccessibleId id = it->second;
    ids_.erase(it);
    controls_.erase(id);
    announced_.erase(id);
    if (announced_root_ == id) {
        announced_root_ = 0;
    }
    announce(NodeEvent(AccessibleEvent::Kind::GONE, id));
}

void ControlAccessibility::announce(const AccessibleEvent& event) const {
    if (listener_ != nullptr) {
        listener_->accessibleChanged(event);
    }
}

} // namespace inkwarden

#include "ui/native/AccessibleTreeDump.h"

#include <cstdio>
#include <utility>

namespace inkwarden {
namespace {

constexpr std::pair<unsigned, const char*> STATE_NAMES[] = {
    {ACCESSIBLE_ENABLED, "enabled"},         {ACCESSIBLE_FOCUSABLE, "focusable"},
    {ACCESSIBLE_FOCUSED, "focused"},         {ACCESSIBLE_CHECKABLE, "checkable"},
    {ACCESSIBLE_CHECKED, "checked"},         {ACCESSIBLE_SELECTABLE, "selectable"},
    {ACCESSIBLE_SELECTED, "selected"},       {ACCESSIBLE_EDITABLE, "editable"},
    {ACCESSIBLE_SINGLE_LINE, "single-line"}, {ACCESSIBLE_SHOWING, "showing"},
};

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%g", value);
    return text;
}

void DumpNode(const IAccessibleTree& tree, AccessibleId id, int depth, std::string& out) {
    const std::optional<AccessibleNode> node = tree.describe(id);
    if (!node) {
        return;
    }
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    out += DescribeAccessibleNode(*node);
    out += '\n';
    for (AccessibleId child : tree.children(id)) {
        DumpNode(tree, child, depth + 1, out);
    }
}

} // namespace

std::string DescribeAccessibleNode(const AccessibleNode& node) {
    std::string line(AccessibleRoleName(node.role));
    if (!node.name.empty()) {
        line += " \"" + node.name + "\"";
    }
    if (!node.id.empty()) {
        line += " id=" + node.id;
    }
    line += " [";
    bool first = true;
    for (const auto& [bit, name] : STATE_NAMES) {
        if ((node.states & bit) != 0) {
            line += first ? "" : " ";
            line += name;
            first = false;
        }
    }
    line += "]";
    if (node.value) {
        line += " value=" + Number(node.value->current) + "/" + Number(node.value->minimum) + ".." +
                Number(node.value->maximum);
    }
    if (node.text && *node.text != node.name) {
        line += " text=\"" + *node.text + "\"";
    }
    if (!node.action.empty()) {
        line += " action=" + node.action;
    }
    return line;
}

std::string DumpAccessibleTree(const IAccessibleTree& tree) {
    std::string out;
    if (tree.root() != 0) {
        DumpNode(tree, tree.root(), 0, out);
    }
    return out;
}

} // namespace inkwarden

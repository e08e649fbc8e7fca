#pragma once

#include "ui/controls/CControlUI.h"
#include "ui/controls/IContainerUI.h"

#include <type_traits>
#include <utility>
#include <vector>

namespace inkwarden {

// What a visit asks of the walk next.
enum class VisitResult {
    CONTINUE,      // on into this control's children
    SKIP_CHILDREN, // on, past this control's subtree
    STOP,          // the walk ends here
};

// Which of a container's children the walk enters first.
enum class ChildOrder {
    FIRST_TO_LAST, // tree order, as focus and the listings read it
    LAST_TO_FIRST,
};

// Visits a control tree depth first, each control before its children. The callback takes
// the control, or the control and its depth (the root is 0), and returns nothing or a
// VisitResult. A container's children are taken when the container is visited. False when
// a visit stopped the walk.
template <typename Callback>
bool ForEachControl(CControlUI* root, Callback&& visit,
                    ChildOrder order = ChildOrder::FIRST_TO_LAST) {
    if (root == nullptr) {
        return true;
    }
    std::vector<std::pair<CControlUI*, int>> stack{{root, 0}};
    while (!stack.empty()) {
        const auto [control, depth] = stack.back();
        stack.pop_back();
        VisitResult result = VisitResult::CONTINUE;
        if constexpr (std::is_invocable_v<Callback&, CControlUI*, int>) {
            using Answer = std::invoke_result_t<Callback&, CControlUI*, int>;
            if constexpr (std::is_void_v<Answer>) {
                visit(control, depth);
            } else {
                result = visit(control, depth);
            }
        } else {
            using Answer = std::invoke_result_t<Callback&, CControlUI*>;
            if constexpr (std::is_void_v<Answer>) {
                visit(control);
            } else {
                result = visit(control);
            }
        }
        if (result == VisitResult::STOP) {
            return false;
        }
        if (result == VisitResult::SKIP_CHILDREN) {
            continue;
        }
        auto* container = static_cast<IContainerUI*>(control->getInterface("IContainer"));
        if (container == nullptr) {
            continue;
        }
        // The stack hands out the child pushed last first.
        const int count = container->getCount();
        if (order == ChildOrder::FIRST_TO_LAST) {
            for (int i = count - 1; i >= 0; --i) {
                stack.emplace_back(container->getItemAt(i), depth + 1);
            }
        } else {
            for (int i = 0; i < count; ++i) {
                stack.emplace_back(container->getItemAt(i), depth + 1);
            }
        }
    }
    return true;
}

} // namespace inkwarden

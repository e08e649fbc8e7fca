#pragma once

#include "ui/base/WinMessages.h"
#include "ui/runtime/IMessageFilterUI.h"

#include <algorithm>
#include <vector>

namespace inkwarden {

// The lists of notifiers, filters and such hold each member once, in registration order.
template <typename T> void AppendOnce(std::vector<T>& list, T item) {
    if (std::find(list.begin(), list.end(), item) == list.end()) {
        list.push_back(item);
    }
}

// Filters in order; the first that handles the message ends it, with its answer.
inline bool RunMessageFilters(const std::vector<IMessageFilterUI*>& list, UINT message,
                              WPARAM wparam, LPARAM lparam, LRESULT& result) {
    auto filters = list; // a filter may add or remove filters
    for (IMessageFilterUI* filter : filters) {
        bool handled = false;
        const LRESULT answer = filter->messageHandler(message, wparam, lparam, handled);
        if (handled) {
            result = answer;
            return true;
        }
    }
    return false;
}

} // namespace inkwarden

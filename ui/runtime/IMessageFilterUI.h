#pragma once

#include "ui/base/WinMessages.h"

namespace inkwarden {

// Sees a window's messages before the paint manager does; setting handled ends them.
class IMessageFilterUI {
public:
    virtual ~IMessageFilterUI() = default;
    virtual LRESULT messageHandler(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) = 0;
};

} // namespace inkwarden

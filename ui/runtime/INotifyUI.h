#pragma once

#include "ui/base/Notification.h"

namespace inkwarden {

// Receives every notification of a paint manager, in registration order.
class INotifyUI {
public:
    virtual ~INotifyUI() = default;
    virtual void notify(Notification& msg) = 0;
};

} // namespace inkwarden

#pragma once

#include "ui/base/Notification.h"

#include <cstdint>
#include <map>
#include <string>

namespace inkwarden {

class CNotifyPump;

// How a message-map entry's handler is called.
enum class NotifySignature : int {
    NONE = 0,
    PARAMS = 1,       // handler(wParam, lParam)
    NOTIFICATION = 2, // handler(notification)
};

// Handlers are plain functions that call a member of the pump's own class.
using NotifyHandler = void (*)(CNotifyPump& pump, Notification& msg);
using NotifyParamsHandler = void (*)(CNotifyPump& pump, std::intptr_t wparam, std::intptr_t lparam);

// One entry of a message map; a map ends with an entry whose type is null. An empty (or
// null) control name matches any control.
struct NotifyMapEntry {
    const char* type = nullptr;
    const char* control_name = nullptr;
    NotifySignature signature = NotifySignature::NONE;
    NotifyHandler on_notify = nullptr;
    NotifyParamsHandler on_params = nullptr;
};

// A class's message map and the map of its base class.
struct NotifyMap {
    const NotifyMap* base = nullptr;
    const NotifyMapEntry* entries = nullptr;
};

template <typename T> struct NotifyMemberClass;
template <typename C, typename R, typename... A> struct NotifyMemberClass<R (C::*)(A...)> {
    using type = C;
};

// A member function of a class derived from CNotifyPump as a map handler:
// NotifyHandlerOf<&CMyWindow::onClick>(). Virtual members dispatch as usual.
template <auto MEMBER> constexpr NotifyHandler NotifyHandlerOf() {
    using Derived = typename NotifyMemberClass<decltype(MEMBER)>::type;
    return [](CNotifyPump& pump, Notification& msg) { (static_cast<Derived&>(pump).*MEMBER)(msg); };
}
template <auto MEMBER> constexpr NotifyParamsHandler NotifyParamsHandlerOf() {
    using Derived = typename NotifyMemberClass<decltype(MEMBER)>::type;
    return [](CNotifyPump& pump, std::intptr_t wparam, std::intptr_t lparam) {
        (static_cast<Derived&>(pump).*MEMBER)(wparam, lparam);
    };
}

// Dispatches notifications through message maps, or hands them to a named virtual window.
class CNotifyPump {
public:
    virtual ~CNotifyPump() = default;

    // Virtual windows by name (any case); the first one per name stays.
    bool addVirtualWnd(const std::string& name, CNotifyPump* object);
    bool removeVirtualWnd(const std::string& name);

    // A notification with a virtual-window name goes to that window's pump; else this one.
    void notifyPump(Notification& msg);
    // Walks the map chain; false when no entry took the notification.
    bool loopDispatch(Notification& msg);

    // The entry of a map chain for a type and sender name: within one map, the entry that
    // names the sender wins at once, else that map's last any-control entry; the first
    // map that yields an entry decides.
    static const NotifyMapEntry* findEntry(const NotifyMap* map, const std::string& type,
                                           const std::string& sender_name);

    static const NotifyMap NOTIFY_MAP;

protected:
    virtual const NotifyMap* getNotifyMap() const { return &NOTIFY_MAP; }

private:
    std::map<std::string, CNotifyPump*> virtual_wnds_; // keys lower case
};

} // namespace inkwarden

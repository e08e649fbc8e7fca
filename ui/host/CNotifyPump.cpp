#include "ui/host/CNotifyPump.h"

#include "ui/controls/CControlUI.h"

#include <cstring>

namespace inkwarden {
namespace {

const NotifyMapEntry NO_ENTRIES[] = {{}};

std::string LowerCase(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

} // namespace

const NotifyMap CNotifyPump::NOTIFY_MAP{nullptr, NO_ENTRIES};

bool CNotifyPump::addVirtualWnd(const std::string& name, CNotifyPump* object) {
    if (object == nullptr)
        return false;
    return virtual_wnds_.emplace(LowerCase(name), object).second;
}

bool CNotifyPump::removeVirtualWnd(const std::string& name) {
    return virtual_wnds_.erase(LowerCase(name)) != 0;
}

void CNotifyPump::notifyPump(Notification& msg) {
    if (!msg.virtual_wnd.empty()) {
        const auto it = virtual_wnds_.find(LowerCase(msg.virtual_wnd));
        if (it != virtual_wnds_.end()) {
            it->second->loopDispatch(msg);
            return;
        }
    }
    loopDispatch(msg);
}

const NotifyMapEntry* CNotifyPump::findEntry(const NotifyMap* map, const std::string& type,
                                             const std::string& sender_name) {
    for (; map != nullptr; map = map->base) {
        const NotifyMapEntry* any_control = nullptr;
        for (const NotifyMapEntry* e = map->entries; e != nullptr && e->type != nullptr; ++e) {
            if (type != e->type)
                continue;
            const bool any = e->control_name == nullptr || e->control_name[0] == '\0';
            if (!any && sender_name == e->control_name)
                return e;
            if (any)
                any_control = e;
        }
        if (any_control != nullptr)
            return any_control;
    }
    return nullptr;
}

bool CNotifyPump::loopDispatch(Notification& msg) {
    const std::string name = msg.sender != nullptr ? msg.sender->getName() : std::string{};
    const NotifyMapEntry* entry = findEntry(getNotifyMap(), msg.type, name);
    if (entry == nullptr)
        return false;
    switch (entry->signature) {
    case NotifySignature::PARAMS:
        if (entry->on_params == nullptr)
            return false;
        entry->on_params(*this, msg.wparam, msg.lparam);
        return true;
    case NotifySignature::NOTIFICATION:
        if (entry->on_notify == nullptr)
            return false;
        entry->on_notify(*this, msg);
        return true;
    case NotifySignature::NONE:
        break;
    }
    return false;
}

} // namespace inkwarden

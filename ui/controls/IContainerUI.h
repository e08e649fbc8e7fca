#pragma once

namespace inkwarden {

class CControlUI;

// The child list of a container, obtained through getInterface("IContainer").
// add and addAt take ownership only when they succeed.
class IContainerUI {
public:
    virtual ~IContainerUI() = default;
    virtual CControlUI* getItemAt(int index) const = 0;
    virtual int getItemIndex(CControlUI* control) const = 0;
    virtual bool setItemIndex(CControlUI* control, int index) = 0;
    virtual void reserved() {}
    virtual int getCount() const = 0;
    virtual bool add(CControlUI* control) = 0;
    virtual bool addAt(CControlUI* control, int index) = 0;
    virtual bool remove(CControlUI* control, bool do_not_destroy = false) = 0;
    virtual bool removeAt(int index, bool do_not_destroy = false) = 0;
    virtual void removeAll() = 0;
};

} // namespace inkwarden

#pragma once

namespace inkwarden {

class CControlUI;

// Makes controls for element names that the builder does not know itself.
class IDialogBuilderCallback {
public:
    virtual ~IDialogBuilderCallback() = default;
    virtual CControlUI* createControl(const char* name) = 0;
};

} // namespace inkwarden

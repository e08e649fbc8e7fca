#pragma once

#include "app/CProxySignInDialog.h"

#include <memory>
#include <string>
#include <vector>

namespace inkwarden {

// The window's proxy sign-in dialogs, on the UI thread: opens one per request and keeps each
// object until its native window is gone, since the answer comes from inside the dialog's own
// message handling.
class ProxySignInPrompt {
public:
    ProxySignInPrompt();
    ~ProxySignInPrompt();

    // Asks for the credentials of proxy ("HOST:PORT"); false when no dialog could open (then
    // answer is never called).
    bool Ask(NativeWindowId owner, const std::string& proxy, bool refused,
             CProxySignInDialog::Answer answer);
    // Closes every open dialog without an answer (the window is going away).
    void CloseAll();

private:
    std::vector<std::unique_ptr<CProxySignInDialog>> dialogs_;
};

} // namespace inkwarden

#pragma once

#include <string>

namespace inkwarden {

// What the install sequence asks of its window. Every call may come from the install thread
// or a download worker: the window hands each change to the UI thread without waiting for it.
// The "has" queries answer from the control references found once at initialisation.
class IInstallWindow {
public:
    virtual ~IInstallWindow() = default;

    virtual bool HasTabPage() const = 0;
    virtual bool HasPercentLabel() const = 0;
    virtual bool HasContactButton() const = 0;

    virtual void SetProgressValue(int value) = 0;
    virtual void SetPercentText(const std::string& text) = 0;
    // The line under the failure page's title: why the attempt failed, "" while one runs.
    virtual void SetFailureText(const std::string& text) = 0;
    // Selects the page of "tab_page" with the toolkit's change notification.
    virtual void SelectPage(int index) = 0;
    virtual void SetCustomPanel(bool shown) = 0;
    virtual void SetCloseEnabled(bool enabled) = 0;
    virtual void ShowContactButton() = 0;
    virtual void StartInstallTimer() = 0; // timer 512, every 100 ms, on the UI thread
    virtual void KillInstallTimer() = 0;
    // The proxy "HOST:PORT" wants a user name and password: true when the window asks for
    // them and will answer with RetryWithProxySignIn or DeclineProxySignIn. A window that
    // cannot ask lets the attempt fail.
    virtual bool AskProxySignIn(const std::string& proxy) {
        (void)proxy;
        return false;
    }
};

} // namespace inkwarden

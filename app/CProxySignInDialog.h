#pragma once

#include "net/ProxyCredentials.h"
#include "platform/Translation.h"
#include "ui/host/WindowImplBase.h"

#include <functional>
#include <optional>
#include <string>

namespace inkwarden {

class CEditUI;

// The skinned dialog that asks for a proxy's user name and password. It lives on the UI
// thread beside the main window, which stays responsive: the answer comes back through a
// callback, once, when the user signs in or cancels (Escape, the close button, the desktop's
// close all cancel). The password field is masked and the texts follow the user's language.
class CProxySignInDialog : public WindowImplBase {
public:
    static constexpr const char* WINDOW_CLASS = "ProxySignInDialog";
    static constexpr const char* WINDOW_TITLE = N_("Proxy sign-in");
    static constexpr const char* REFUSED_TEXT =
        N_("The proxy did not accept that user name and password.");
    static constexpr const char* SKIN_FILE = "proxy_sign_in.xml";

    // The credentials given, or none when the user cancelled.
    using Answer = std::function<void(std::optional<ProxyCredentials>)>;

    // proxy is "HOST:PORT"; refused says the last credentials were turned down.
    CProxySignInDialog(std::string proxy, bool refused, Answer answer);
    ~CProxySignInDialog() override;

    // Creates the window owned by owner, centred over it, and gives the user name the focus.
    bool Open(NativeWindowId owner);
    // Whether the native window is gone (after the answer, or never opened).
    bool IsClosed() const { return closed_; }

    void onWindowReady() override;
    void onClick(Notification& msg) override;

    static const NotifyMap NOTIFY_MAP;

protected:
    const char* windowClassName() const override { return WINDOW_CLASS; }
    std::string skinFolder() override;
    std::string skinFile() override { return SKIN_FILE; }
    SkinSource skinSource() const override { return SkinSource::ZipResource; }
    // The main window's skin archive, which holds this dialog's file too.
    std::string resourceId() const override;
    LRESULT handleDefaultKey(WPARAM key) override;
    LRESULT onClose(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) override;
    void onFinalMessage(NativeWindowId window) override;
    const NotifyMap* getNotifyMap() const override { return &NOTIFY_MAP; }

private:
    void SignIn();
    void Cancel();
    // Hands the answer over once and closes the window.
    void Finish(std::optional<ProxyCredentials> credentials);

    std::string proxy_;
    bool refused_;
    Answer answer_;
    bool answered_ = false;
    bool closed_ = true;
    CEditUI* user_field_ = nullptr;
    CEditUI* password_field_ = nullptr;
};

} // namespace inkwarden

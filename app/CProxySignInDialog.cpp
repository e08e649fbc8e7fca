#include "app/CProxySignInDialog.h"

#include "app/CMainFrame.h"
#include "app/InstallFailure.h"
#include "ui/controls/CEditUI.h"
#include "ui/controls/CLabelUI.h"
#include "ui/host/WindowHost.h"

#include <utility>

namespace inkwarden {
namespace {

const NotifyMapEntry DIALOG_ENTRIES[] = {
    {"click", "", NotifySignature::NOTIFICATION, NotifyHandlerOf<&WindowImplBase::onClick>(),
     nullptr},
    {},
};

// A dialog over its owner: no taskbar entry of its own.
constexpr std::uint32_t DIALOG_STYLE = WS_VISIBLE | WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr std::uint32_t DIALOG_EX_STYLE = WS_EX_TOOLWINDOW;

template <typename T> T* FindAs(PaintManager& manager, const char* name, const char* type) {
    CControlUI* control = manager.findControlByName(name);
    return control != nullptr ? static_cast<T*>(control->getInterface(type)) : nullptr;
}

} // namespace

const NotifyMap CProxySignInDialog::NOTIFY_MAP{&WindowImplBase::NOTIFY_MAP, DIALOG_ENTRIES};

CProxySignInDialog::CProxySignInDialog(std::string proxy, bool refused, Answer answer)
    : proxy_(std::move(proxy)), refused_(refused), answer_(std::move(answer)) {}

CProxySignInDialog::~CProxySignInDialog() {
    // A window still open goes now; its answer is a cancel.
    if (!closed_ && layer() != nullptr && layer()->exists(getHWND())) {
        answered_ = true;
        layer()->destroy(getHWND());
    }
}

bool CProxySignInDialog::Open(NativeWindowId owner) {
    closed_ = false;
    if (create(owner, Tr(WINDOW_TITLE), DIALOG_STYLE, DIALOG_EX_STYLE) == 0) {
        closed_ = true;
        return false;
    }
    centerWindow();
    showWindow(true, true);
    return true;
}

std::string CProxySignInDialog::resourceId() const {
    return std::to_string(CMainFrame::SKIN_RESOURCE);
}

std::string CProxySignInDialog::skinFolder() {
    return WindowHost::getInstancePath();
}

void CProxySignInDialog::onWindowReady() {
    PaintManager& manager = paint_manager_;
    user_field_ = FindAs<CEditUI>(manager, "proxy_user", "Edit");
    password_field_ = FindAs<CEditUI>(manager, "proxy_password", "Edit");
    if (auto* prompt = FindAs<CLabelUI>(manager, "sign_in_prompt", "Label")) {
        prompt->setText(ProxySignInText(proxy_));
    }
    if (auto* refused = FindAs<CLabelUI>(manager, "sign_in_refused", "Label")) {
        refused->setText(refused_ ? Tr(REFUSED_TEXT) : "");
    }
    // Typing can start at once: the field takes the focus once it is laid out.
    if (user_field_ != nullptr) {
        manager.setFocusNeeded(user_field_);
    }
}

void CProxySignInDialog::onClick(Notification& msg) {
    const std::string name = msg.sender != nullptr ? msg.sender->getName() : std::string();
    if (name == "btn_sign_in") {
        SignIn();
    } else if (name == "btn_sign_in_cancel" || name == "closebtn") {
        Cancel();
    }
}

LRESULT CProxySignInDialog::handleDefaultKey(WPARAM key) {
    if (key == VK_RETURN) {
        SignIn();
        return 1;
    }
    if (key == VK_ESCAPE) {
        Cancel();
        return 1;
    }
    return 0;
}

LRESULT CProxySignInDialog::onClose(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) {
    // The desktop's close button is a cancel.
    if (!answered_) {
        answered_ = true;
        if (answer_) {
            answer_(std::nullopt);
        }
    }
    return WindowImplBase::onClose(message, wparam, lparam, handled);
}

void CProxySignInDialog::onFinalMessage(NativeWindowId window) {
    WindowImplBase::onFinalMessage(window);
    user_field_ = nullptr;
    password_field_ = nullptr;
    closed_ = true;
}

void CProxySignInDialog::SignIn() {
    ProxyCredentials credentials;
    if (user_field_ != nullptr) {
        credentials.user = user_field_->getText();
    }
    if (password_field_ != nullptr) {
        credentials.password = password_field_->getText();
        // The field's copy goes at once; the kept one is the only one left.
        password_field_->setText("");
    }
    // Without a user name there is nothing to sign in with.
    if (credentials.user.empty()) {
        if (user_field_ != nullptr) {
            paint_manager_.setFocusByKeyboard(user_field_);
        }
        return;
    }
    Finish(std::move(credentials));
}

void CProxySignInDialog::Cancel() {
    Finish(std::nullopt);
}

void CProxySignInDialog::Finish(std::optional<ProxyCredentials> credentials) {
    if (answered_) {
        return;
    }
    answered_ = true;
    if (answer_) {
        answer_(std::move(credentials));
    }
    close(IDCANCEL);
}

} // namespace inkwarden

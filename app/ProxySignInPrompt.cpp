#include "app/ProxySignInPrompt.h"

#include <algorithm>
#include <utility>

namespace inkwarden {

ProxySignInPrompt::ProxySignInPrompt() = default;

ProxySignInPrompt::~ProxySignInPrompt() {
    CloseAll();
}

bool ProxySignInPrompt::Ask(NativeWindowId owner, const std::string& proxy, bool refused,
                            CProxySignInDialog::Answer answer) {
    std::erase_if(dialogs_, [](const auto& dialog) { return dialog->IsClosed(); });
    auto dialog = std::make_unique<CProxySignInDialog>(proxy, refused, std::move(answer));
    if (!dialog->Open(owner)) {
        return false;
    }
    dialogs_.push_back(std::move(dialog));
    return true;
}

void ProxySignInPrompt::CloseAll() {
    // Destroying a dialog takes its window down without an answer.
    dialogs_.clear();
}

} // namespace inkwarden

#pragma once

#include "app/InstallFailure.h"

#include <cstdint>
#include <optional>
#include <string>

namespace inkwarden {

// How far a download has come: bytes so far of total (0 while unknown), the share of the
// whole, and the speed over the recent past (0 until known).
struct DownloadFigures {
    std::int64_t done = 0;
    std::int64_t total = 0;
    double fraction = 0.0;
    double bytes_per_second = 0.0;
};

// What the install sequence tells its window: what happened, not how to draw it. Every call
// may come from the install thread or a download worker: the window hands each change to the
// UI thread without waiting for it. The "has" queries answer from the control references
// found once at initialisation.
class IInstallWindow {
public:
    virtual ~IInstallWindow() = default;

    virtual bool HasTabPage() const = 0;
    virtual bool HasContactButton() const = 0;

    // Selects the page of "tab_page" with the toolkit's change notification.
    virtual void SelectPage(int index) = 0;
    virtual void SetCustomPanel(bool shown) = 0;

    // An attempt asks the version service which release is current.
    virtual void Checking() {}
    // The package arrives; reports come one at a time, often many a second.
    virtual void Downloading(const DownloadFigures& figures) { (void)figures; }
    // The package runs with the user's choices.
    virtual void Installing() {}
    // The attempt ended: NONE after a success, else the first step that failed with the words
    // the failure page shows for it; the contact button is offered from the second failure of
    // the program's run on.
    virtual void Done(InstallFailure cause, const std::string& cause_text, bool offer_contact) {
        (void)cause;
        (void)cause_text;
        (void)offer_contact;
    }
    // The user cancelled the download; what arrived waits for the next run.
    virtual void Cancelled() {}
    // The version service named the current release, and its size when the reply gives it.
    virtual void ReleaseKnown(const std::string& version, std::optional<std::int64_t> size) {
        (void)version;
        (void)size;
    }
    // The proxy "HOST:PORT" wants a user name and password: true when the window asks for
    // them and will answer with RetryWithProxySignIn or DeclineProxySignIn. A window that
    // cannot ask lets the attempt fail.
    virtual bool AskProxySignIn(const std::string& proxy) {
        (void)proxy;
        return false;
    }
};

} // namespace inkwarden

#pragma once

#include <curl/curl.h>
#include <string>

namespace inkwarden {

// Chooses the proxy of one transfer for its own URL, as the desktop says, and sets it on the
// handle. Called wherever a transfer gets its URL; it may block for a while (a PAC script), so
// never on the UI thread.
void SetProxyFor(CURL* curl, const std::string& url);

// At the start of main, before any thread runs: lets the resolver read KDE's proxy settings
// wherever XDG_CURRENT_DESKTOP names KDE. libproxy reads kioslaverc only when KDE_FULL_SESSION
// is set, which a program started outside the Plasma session's own environment lacks.
void FollowDesktopProxySettings();

// "HOST:PORT" of the proxy that SetProxyFor chose for curl; "" for a direct transfer.
std::string ProxyOfTransfer(CURL* curl);

// Whether SetProxyFor gave curl a user name and password for its proxy.
bool SignsInToProxy(CURL* curl);

} // namespace inkwarden

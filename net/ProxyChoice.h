#pragma once

#include <curl/curl.h>
#include <string>

namespace inkwarden {

// Chooses the proxy of one transfer for its own URL, as the desktop says, and sets it on the
// handle. Called wherever a transfer gets its URL; it may block for a while (a PAC script), so
// never on the UI thread.
void SetProxyFor(CURL* curl, const std::string& url);

// "HOST:PORT" of the proxy that SetProxyFor chose for curl; "" for a direct transfer.
std::string ProxyOfTransfer(CURL* curl);

} // namespace inkwarden

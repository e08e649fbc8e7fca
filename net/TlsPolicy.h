#pragma once

#include <curl/curl.h>
#include <string>

namespace inkwarden {

// How https transfers check their server: the certificate chain against a CA store and the
// host name against the certificate, unless the build turned both off. The store is the
// system's, or the bundle the build pinned, or the one a command line names.

// Names the CA bundle of every later transfer; empty goes back to the build's choice. Called
// before the first transfer starts.
void SetCaBundle(const std::string& path);

// The bundle that transfers use now; empty: the system's store.
std::string CaBundle();

// The verification options of one transfer.
void SetTlsOptions(CURL* curl);

} // namespace inkwarden

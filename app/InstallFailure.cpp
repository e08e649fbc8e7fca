#include "app/InstallFailure.h"

#include "platform/Translation.h"

namespace inkwarden {
namespace {

struct FailureWords {
    InstallFailure failure;
    const char* text;
    const char* diagnostic;
};

constexpr FailureWords WORDS[] = {
    {InstallFailure::NONE, "", "none"},
    {InstallFailure::SERVICE_UNREACHABLE,
     N_("Cannot reach the update service; check the network or proxy."),
     "the version service could not be reached"},
    {InstallFailure::CERTIFICATE_UNTRUSTED,
     N_("The update service's certificate is not trusted; contact support."),
     "the update service's certificate is not trusted"},
    {InstallFailure::PROXY_SIGN_IN, N_("The proxy asks for a user name and password."),
     "the proxy asks for a user name and password"},
    {InstallFailure::RELEASE_INVALID,
     N_("The release information is invalid; try again later or contact support."),
     "the release information is invalid"},
    {InstallFailure::DOWNLOAD_FAILED, N_("The download failed; check the network and try again."),
     "the download failed"},
    {InstallFailure::DISK_FULL, N_("The disk is full; free some space and try again."),
     "the disk is full"},
    {InstallFailure::PACKAGE_FAILED, N_("The installation did not finish; try again."),
     "the package did not finish"},
    {InstallFailure::VERSION_MISMATCH,
     N_("The installed version is not the current release; try again."),
     "the installed version does not match the release"},
};

const FailureWords& WordsFor(InstallFailure failure) {
    for (const FailureWords& words : WORDS) {
        if (words.failure == failure) {
            return words;
        }
    }
    return WORDS[0];
}

} // namespace

const char* InstallFailureText(InstallFailure failure) {
    return Tr(WordsFor(failure).text);
}

const char* InstallFailureDiagnostic(InstallFailure failure) {
    return WordsFor(failure).diagnostic;
}

std::string ProxySignInText(const std::string& proxy) {
    // TRANSLATORS: %s is the proxy's address, e.g. "proxy.example.com:3128".
    std::string text = Tr("The proxy %s asks for a user name and password.");
    const std::size_t at = text.find("%s");
    return at == std::string::npos ? text : text.replace(at, 2, proxy);
}

} // namespace inkwarden

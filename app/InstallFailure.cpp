#include "app/InstallFailure.h"

#include "platform/Translation.h"

namespace inkwarden {
namespace {

struct FailureWords {
    InstallFailure failure;
    const char* text;
    const char* diagnostic;
    const char* picture;
};

constexpr const char* NETWORK_PICTURE = "png/logo_retry.png";
constexpr const char* SERVICE_PICTURE = "png/logo_fail_service.png";
constexpr const char* FOLDER_PICTURE = "png/logo_fail_folder.png";
constexpr const char* DISK_PICTURE = "png/logo_fail_disk.png";
constexpr const char* DOWNLOAD_PICTURE = "png/logo_fail_download.png";
constexpr const char* PACKAGE_PICTURE = "png/logo_fail_package.png";

constexpr FailureWords WORDS[] = {
    {InstallFailure::NONE, "", "none", NETWORK_PICTURE},
    {InstallFailure::SERVICE_UNREACHABLE,
     N_("Cannot reach the update service; check the network or proxy."),
     "the version service could not be reached", NETWORK_PICTURE},
    {InstallFailure::SERVICE_ERROR, N_("The update service has a problem; try again later."),
     "the version service answered with an error", SERVICE_PICTURE},
    {InstallFailure::CERTIFICATE_UNTRUSTED,
     N_("The update service's certificate is not trusted; contact support."),
     "the update service's certificate is not trusted", NETWORK_PICTURE},
    {InstallFailure::PROXY_SIGN_IN, N_("The proxy asks for a user name and password."),
     "the proxy asks for a user name and password", NETWORK_PICTURE},
    {InstallFailure::RELEASE_INVALID,
     N_("The release information is invalid; try again later or contact support."),
     "the release information is invalid", SERVICE_PICTURE},
    {InstallFailure::FOLDER_READ_ONLY, N_("The install folder is read-only; choose another one."),
     "the install folder is read-only", FOLDER_PICTURE},
    {InstallFailure::FOLDER_NOT_WRITABLE,
     N_("You may not write to the install folder: choose a folder in your home."),
     "the install folder is not writable", FOLDER_PICTURE},
    {InstallFailure::TEMP_FOLDER, N_("The installer cannot use its temporary folder."),
     "the temporary folder cannot be used", FOLDER_PICTURE},
    {InstallFailure::DOWNLOAD_FAILED, N_("The download failed; check the network and try again."),
     "the download failed", DOWNLOAD_PICTURE},
    {InstallFailure::DISK_FULL, N_("The disk is full; free some space and try again."),
     "the disk is full", DISK_PICTURE},
    {InstallFailure::PACKAGE_FAILED, N_("The installation did not finish; try again."),
     "the package did not finish", PACKAGE_PICTURE},
    {InstallFailure::VERSION_MISMATCH,
     N_("The installed version is not the current release; try again."),
     "the installed version does not match the release", PACKAGE_PICTURE},
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

const char* InstallFailurePicture(InstallFailure failure) {
    return WordsFor(failure).picture;
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

#include "app/InstallFailure.h"

namespace inkwarden {
namespace {

struct FailureWords {
    InstallFailure failure;
    const char* text;
    const char* diagnostic;
};

constexpr FailureWords WORDS[] = {
    {InstallFailure::NONE, "", "none"},
    {InstallFailure::SERVICE_UNREACHABLE, "无法连接服务器，请检查网络后重试",
     "the version service could not be reached"},
    {InstallFailure::CERTIFICATE_UNTRUSTED, "服务器证书不受信任，请联系客服",
     "the update service's certificate is not trusted"},
    {InstallFailure::PROXY_SIGN_IN, "代理服务器需要用户名和密码",
     "the proxy asks for a user name and password"},
    {InstallFailure::RELEASE_INVALID, "版本信息无效，请稍后重试或联系客服",
     "the release information is invalid"},
    {InstallFailure::DOWNLOAD_FAILED, "安装包下载失败，请检查网络后重试", "the download failed"},
    {InstallFailure::DISK_FULL, "磁盘空间不足，请清理后重试", "the disk is full"},
    {InstallFailure::PACKAGE_FAILED, "安装程序未能完成，请重试", "the package did not finish"},
    {InstallFailure::VERSION_MISMATCH, "安装的版本与最新版本不符，请重试",
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
    return WordsFor(failure).text;
}

const char* InstallFailureDiagnostic(InstallFailure failure) {
    return WordsFor(failure).diagnostic;
}

} // namespace inkwarden

#include "app/InstallFailure.h"

namespace inkwarden {

const char* InstallFailureText(InstallFailure failure) {
    switch (failure) {
    case InstallFailure::NONE:
        return "";
    case InstallFailure::SERVICE_UNREACHABLE:
        return "无法连接服务器，请检查网络后重试";
    case InstallFailure::RELEASE_INVALID:
        return "版本信息无效，请稍后重试或联系客服";
    case InstallFailure::DOWNLOAD_FAILED:
        return "安装包下载失败，请检查网络后重试";
    case InstallFailure::DISK_FULL:
        return "磁盘空间不足，请清理后重试";
    case InstallFailure::PACKAGE_FAILED:
        return "安装程序未能完成，请重试";
    case InstallFailure::VERSION_MISMATCH:
        return "安装的版本与最新版本不符，请重试";
    }
    return "";
}

const char* InstallFailureDiagnostic(InstallFailure failure) {
    switch (failure) {
    case InstallFailure::NONE:
        return "none";
    case InstallFailure::SERVICE_UNREACHABLE:
        return "the version service could not be reached";
    case InstallFailure::RELEASE_INVALID:
        return "the release information is invalid";
    case InstallFailure::DOWNLOAD_FAILED:
        return "the download failed";
    case InstallFailure::DISK_FULL:
        return "the disk is full";
    case InstallFailure::PACKAGE_FAILED:
        return "the package did not finish";
    case InstallFailure::VERSION_MISMATCH:
        return "the installed version does not match the release";
    }
    return "?";
}

} // namespace inkwarden

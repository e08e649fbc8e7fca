// The offline road of an install attempt: an offline bundle stands in for the version query
// and the download. What follows (the package check, the run, the version check) is the
// online road's.
#include "app/InstallController.h"
#include "platform/DiagnosticSink.h"
#include "platform/FileWriter.h"
#include "platform/UniqueFd.h"
#include "release/OfflineBundle.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace inkwarden {
namespace {

constexpr std::size_t COPY_CHUNK = 1 << 16;
constexpr mode_t COPY_MODE = 0600;

// Copies the regular file from into a fresh file at to (never through a link, never into a
// file someone else left there), reporting the bytes copied. Returns 0, or the error number
// of the failure (ECANCELED when stop was raised); nothing then stays at to.
template <typename Progress, typename Stop>
int CopyPackage(const std::string& from, const std::string& to, Progress progress, Stop stop) {
    UniqueFd source(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    struct stat info {};
    if (!source || ::fstat(source.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return source ? EINVAL : errno;
    }
    ::unlink(to.c_str());
    UniqueFd target(
        ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, COPY_MODE));
    if (!target) {
        return errno;
    }
    std::vector<char> buffer(COPY_CHUNK);
    std::int64_t done = 0;
    for (;;) {
        const ssize_t got = ::read(source.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got == 0) {
            return 0;
        }
        if (got < 0) {
            const int error = errno;
            ::unlink(to.c_str());
            return error;
        }
        errno = 0;
        if (!WriteAll(target.get(),
                      std::string_view(buffer.data(), static_cast<std::size_t>(got)))) {
            const int error = errno != 0 ? errno : EIO;
            ::unlink(to.c_str());
            return error;
        }
        if (stop()) {
            ::unlink(to.c_str());
            return ECANCELED;
        }
        done += got;
        progress(done, static_cast<std::int64_t>(info.st_size));
    }
}

} // namespace

bool InstallController::TakeOfflinePackage(const std::string& path) {
    const OfflineBundle bundle = ReadOfflineBundle(offline_dir, ReleaseKey(), UtcNow());
    if (bundle.check != BundleCheck::PASSED) {
        PrintDiagnostic("offline bundle check failed: %s\n", BundleCheckText(bundle.check));
        return Fail(InstallFailure::RELEASE_INVALID, BundleCheckText(bundle.check));
    }
    PrintDiagnostic("offline bundle check: %s signed by the release key, valid until %s\n",
                    BUNDLE_RELEASE_FILE, UtcTimeText(bundle.release.not_after).c_str());
    latest_version = LatestVersionInfo{};
    latest_version.Version_number = bundle.release.version_number;
    release_reply_ = ReleaseReply{};
    release_reply_.package = bundle.release.package;

    // The copy takes the download's half of the bar; it is renamed into place only whole.
    const std::string partial = path + ".tmp";
    step_ = Step::DOWNLOADING;
    const int error = CopyPackage(
        bundle.package_path, partial,
        [this](std::int64_t done, std::int64_t total) {
            OnDownloadProgress(done, total, total > 0 ? double(done) / double(total) : 1.0);
        },
        [this] { return stopping.load() || cancelled.load(); });
    if (error != 0 || ::rename(partial.c_str(), path.c_str()) != 0) {
        ::unlink(partial.c_str());
        const bool full = error == ENOSPC || error == EDQUOT;
        return Fail(full ? InstallFailure::DISK_FULL : InstallFailure::RELEASE_INVALID,
                    "cannot copy the bundle's package " + bundle.package_path);
    }
    // The copy, not the bundle's file, is what runs: it is the one checked.
    if (!VerifyDownloadedPackage(path)) {
        return Fail(InstallFailure::RELEASE_INVALID, ReleaseCheckText(release_check));
    }
    return true;
}

} // namespace inkwarden

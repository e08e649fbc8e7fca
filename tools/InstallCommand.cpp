// install: one whole install attempt without the window, as the installer's start click runs
// it: query, download (or an offline bundle instead of both), package run, version check,
// events. The console stands in for the window.
#include "Subcommands.h"
#include "TransferOptions.h"
#include "app/InstallController.h"
#include "app/InstallFolderCheck.h"
#include "app/InstallOptions.h"
#include "app/ProgressLine.h"
#include "platform/Translation.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

namespace inkwarden::tool {
namespace {

// Time for the last events to go out before the reporter stops.
constexpr std::chrono::milliseconds LAST_EVENTS_TIME{300};
// How often the attempt's page is looked at.
constexpr std::chrono::milliseconds PAGE_POLL{100};

class ConsoleWindow : public IInstallWindow {
public:
    bool HasTabPage() const override { return true; }
    bool HasContactButton() const override { return true; }

    void Downloading(const DownloadFigures& figures) override {
        std::lock_guard<std::mutex> lock(mutex_);
        const int percent = static_cast<int>(figures.fraction * 100);
        if (auto text = line_.Update(figures.done, figures.total, percent, figures.bytes_per_second,
                                     ProgressLine::Clock::now())) {
            Print(*text);
        }
    }
    void Installing() override {
        std::lock_guard<std::mutex> lock(mutex_);
        Print(Tr("Installing..."));
    }
    void Done(InstallFailure, const std::string&, bool offer_contact) override {
        if (offer_contact) {
            std::printf("contact button shown\n");
        }
    }
    void SelectPage(int index) override {
        static const char* NAMES[] = {"configuration", "installing", "success", "failure"};
        std::printf("page: %d (%s)\n", index, index >= 0 && index < 4 ? NAMES[index] : "?");
        std::fflush(stdout);
        page = index;
    }
    void SetCustomPanel(bool) override {}

    std::atomic<int> page{0};

private:
    // A line printed once, however often it is reported.
    void Print(const std::string& text) {
        if (text != percent_) {
            percent_ = text;
            std::printf("progress: %s\n", text.c_str());
            std::fflush(stdout);
        }
    }

    std::mutex mutex_;
    ProgressLine line_;
    std::string percent_;
};

// What the command line asks for.
struct InstallArguments {
    InstallController::Services services;
    std::string folder;
    std::string test_url;
    std::string offline_dir;
    bool desktop_link = true;
    bool start_link = true;
};

bool ParseInstallArguments(int argc, char** argv, InstallArguments& args) {
    for (int i = 0; i < argc; ++i) {
        const TransferOption shared = TakeTransferOption(argc, argv, i);
        if (shared == TransferOption::INVALID) {
            return false;
        }
        if (shared == TransferOption::TAKEN) {
            --i; // the loop steps on
            continue;
        }
        const std::string arg = argv[i];
        if (arg == "--service" && i + 1 < argc) {
            const std::string base = argv[++i];
            args.services.latest_version_url = base + LATEST_VERSION_PATH;
            args.services.events.url = base + EVENT_PATH;
        } else if (arg == "--folder" && i + 1 < argc) {
            args.folder = argv[++i];
        } else if (arg == "--test-url" && i + 1 < argc) {
            args.test_url = argv[++i];
        } else if (arg == "--offline" && i + 1 < argc && *argv[i + 1] != '\0') {
            args.offline_dir = argv[++i];
        } else if (arg == "--no-desktop-link") {
            args.desktop_link = false;
        } else if (arg == "--no-start-link") {
            args.start_link = false;
        } else {
            return false;
        }
    }
    // A bundle names its own package: a test URL beside it would say two things.
    return !args.folder.empty() && args.folder[0] == '/' &&
           (args.test_url.empty() || args.offline_dir.empty());
}

// One attempt through the pages; true on success.
bool RunAttempt(InstallController& controller, ConsoleWindow& window) {
    controller.reporter.Start();
    controller.ShowPage(0);
    controller.ShowPage(1);
    controller.StartInstall();
    while (window.page < 2) {
        std::this_thread::sleep_for(PAGE_POLL);
    }
    const bool ok = window.page == 2;
    if (ok) {
        controller.LaunchProduct();
    }
    controller.StopInstall();
    std::this_thread::sleep_for(LAST_EVENTS_TIME);
    controller.reporter.Stop();
    return ok;
}

// The outcome lines; the failure line carries the cause as the window's failure page words it.
void PrintOutcome(const InstallController& controller, bool ok) {
    if (controller.release_check != ReleaseCheck::PASSED) {
        std::printf("check failed: %s\n", ReleaseCheckText(controller.release_check));
    }
    if (ok) {
        std::printf("installed: %s\n", controller.ProductPath().c_str());
    } else if (controller.failure != InstallFailure::NONE) {
        std::printf("failed: %s: %s\n", controller.ProductPath().c_str(),
                    controller.FailureText().c_str());
    } else {
        std::printf("failed: %s\n", controller.ProductPath().c_str());
    }
}

} // namespace

int InstallCommand(int argc, char** argv) {
    InstallArguments args;
    if (!ParseInstallArguments(argc, argv, args)) {
        return USAGE_ERROR;
    }
    // As the window's message box does, before anything is asked or run.
    if (!FolderFitsPackageCommandLine(args.folder)) {
        std::fprintf(stderr,
                     "%s: %s\n  the package's command line cannot carry this folder as one "
                     "argument (a double quote, a line break or another control character, or "
                     "a backslash at the end)\n",
                     Tr(InstallOptions::INVALID_FOLDER_CAPTION),
                     Tr(InstallOptions::INVALID_FOLDER_TEXT));
        return USAGE_ERROR;
    }
    // The window's start click makes the same checks, before anything is asked.
    const FolderVerdict verdict = CheckInstallFolder(args.folder);
    if (verdict.problem != FolderProblem::NONE) {
        std::fprintf(stderr, "%s: %s\n", Tr(InstallOptions::INVALID_FOLDER_CAPTION),
                     FolderVerdictText(verdict).c_str());
        return USAGE_ERROR;
    }

    ConsoleWindow window;
    InstallController controller(window, args.services);
    controller.install_folder = args.folder;
    controller.test_url = args.test_url;
    controller.offline_dir = args.offline_dir;
    controller.desktop_link = args.desktop_link;
    controller.start_link = args.start_link;
    const bool ok = RunAttempt(controller, window);
    PrintOutcome(controller, ok);
    return ok ? 0 : 1;
}

} // namespace inkwarden::tool

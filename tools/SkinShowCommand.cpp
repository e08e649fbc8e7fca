// skin show [SKIN] [--page N] [--screenshot OUT.png [--after MS]]: opens a skin in a desktop
// window and prints what the window receives, one line each:
//   shown                  the window is on the screen
//   notify TYPE [NAME]     a notification and its sender's name
//   move X Y               the window moved (screen coordinates)
//   screenshot PATH        the screenshot was written
//   close CODE             a close request with its code
#include "Subcommands.h"
#include "ui/controls/CControlUI.h"
#include "ui/controls/CTabLayoutUI.h"
#include "ui/host/WindowHost.h"
#include "ui/host/WindowImplBase.h"
#include "ui/markup/ModuleResources.h"
#include "ui/native/gtk/GtkWindowLayer.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

namespace inkwarden::tool {
namespace {

constexpr int SKIN_RESOURCE_ID = 105;
constexpr UINT ICON_RESOURCE_ID = 101;
// Above the paint manager's timer ids.
constexpr std::uintptr_t SCREENSHOT_TIMER = 0x7F00;
// How long the window shows before --screenshot takes it, unless --after says.
constexpr int DEFAULT_SCREENSHOT_DELAY_MS = 1000;

struct Options {
    std::string skin;
    int page = -1;
    std::string screenshot;
    int after_ms = DEFAULT_SCREENSHOT_DELAY_MS;
};

// Whether a screenshot can be written to path: its folder exists and takes new files, or the
// file exists and can be replaced.
bool CanWrite(const std::string& path) {
    if (::access(path.c_str(), W_OK) == 0) {
        return true;
    }
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    return ::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) == 0;
}

bool ParseNumber(const char* text, int& value) {
    const char* end = text + std::strlen(text);
    const auto [ptr, error] = std::from_chars(text, end, value);
    return error == std::errc{} && ptr == end && value >= 0;
}

class SkinShowWindow : public WindowImplBase {
public:
    explicit SkinShowWindow(const Options& options) : options_(options) {}

    // Where the skin lies; false with a message when it cannot be used.
    bool locate() {
        namespace fs = std::filesystem;
        if (options_.skin.empty()) {
            if (ModuleResources::find("ZIPRES", SKIN_RESOURCE_ID).empty()) {
                std::fprintf(stderr, "inkwarden-tool skin show: no compiled-in skin\n");
                return false;
            }
            source_ = SkinSource::ZipResource;
            folder_ = WindowHost::getInstancePath();
            return true;
        }
        std::error_code error;
        const fs::path path = fs::absolute(options_.skin, error);
        if (fs::is_directory(path, error)) {
            if (!fs::is_regular_file(path / "main_frame.xml", error)) {
                std::fprintf(stderr, "inkwarden-tool skin show: %s holds no main_frame.xml\n",
                             path.c_str());
                return false;
            }
            source_ = SkinSource::Folder;
            folder_ = path.string() + "/";
            return true;
        }
        if (fs::is_regular_file(path, error)) {
            source_ = SkinSource::ZipFile;
            folder_ = path.parent_path().string() + "/";
            zip_ = path.filename().string();
            return true;
        }
        std::fprintf(stderr, "inkwarden-tool skin show: %s: no such folder or file\n",
                     options_.skin.c_str());
        return false;
    }

    void notify(Notification& msg) override {
        const std::string name = msg.sender != nullptr ? msg.sender->getName() : std::string{};
        if (name.empty())
            std::printf("notify %s\n", msg.type.c_str());
        else
            std::printf("notify %s %s\n", msg.type.c_str(), name.c_str());
        std::fflush(stdout);
        WindowImplBase::notify(msg);
    }

protected:
    const char* windowClassName() const override { return "SkinShowFrame"; }
    std::string skinFolder() override { return folder_; }
    std::string skinFile() override { return "main_frame.xml"; }
    SkinSource skinSource() const override { return source_; }
    std::string zipFileName() const override { return zip_; }
    std::string resourceId() const override { return std::to_string(SKIN_RESOURCE_ID); }

    void onWindowReady() override {
        if (options_.page < 0)
            return;
        auto* tabs = dynamic_cast<CTabLayoutUI*>(paint_manager_.findControlByName("tab_page"));
        if (tabs == nullptr || !tabs->selectItem(options_.page))
            std::fprintf(stderr, "inkwarden-tool skin show: no page %d\n", options_.page);
    }

    LRESULT onClose(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) override {
        std::printf("close %u\n", static_cast<unsigned>(wparam));
        std::fflush(stdout);
        return WindowImplBase::onClose(message, wparam, lparam, handled);
    }

    LRESULT handleCustomMessage(UINT message, WPARAM wparam, LPARAM lparam,
                                bool& handled) override {
        handled = false;
        if (message == WM_MOVE) {
            std::printf("move %d %d\n", GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
            std::fflush(stdout);
        } else if (message == WM_TIMER && wparam == SCREENSHOT_TIMER) {
            handled = true;
            layer()->killTimer(hwnd_, SCREENSHOT_TIMER);
            if (layer()->saveScreenshot(hwnd_, options_.screenshot)) {
                std::printf("screenshot %s\n", options_.screenshot.c_str());
            } else {
                // The file's folder was checked before the window opened.
                std::fprintf(stderr,
                             "inkwarden-tool skin show: no screenshot: the window could not be "
                             "read back from the display (a Wayland compositor may keep it to "
                             "itself; GDK_BACKEND=x11 reads it through Xwayland), or %s could "
                             "not be written\n",
                             options_.screenshot.c_str());
                failed_ = true;
            }
            std::fflush(stdout);
            close(0);
        }
        return 0;
    }

    void onFinalMessage(NativeWindowId window) override {
        WindowImplBase::onFinalMessage(window);
        WindowHost::postQuitMessage(failed_ ? 1 : 0);
    }

public:
    void startScreenshotTimer() {
        layer()->setTimer(hwnd_, SCREENSHOT_TIMER, static_cast<unsigned>(options_.after_ms));
    }

private:
    const Options& options_;
    SkinSource source_ = SkinSource::ZipResource;
    std::string folder_;
    std::string zip_;
    bool failed_ = false;
};

} // namespace

int SkinShowCommand(int argc, char** argv) {
    Options options;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--page" && has_value && ParseNumber(argv[i + 1], options.page)) {
            ++i;
        } else if (arg == "--screenshot" && has_value) {
            options.screenshot = argv[++i];
        } else if (arg == "--after" && has_value && ParseNumber(argv[i + 1], options.after_ms)) {
            ++i;
        } else if (!arg.starts_with("--") && options.skin.empty()) {
            options.skin = arg;
        } else {
            return USAGE_ERROR;
        }
    }

    if (!options.screenshot.empty() && !CanWrite(options.screenshot)) {
        std::fprintf(stderr, "inkwarden-tool skin show: cannot write %s\n",
                     options.screenshot.c_str());
        return 1;
    }

    auto layer = GtkWindowLayer::open();
    if (!layer) {
        std::fprintf(stderr, "inkwarden-tool skin show: cannot open a display (is DISPLAY set?)\n");
        return 1;
    }
    WindowHost::setLayer(layer.get());
    std::error_code error;
    WindowHost::setInstance(std::filesystem::read_symlink("/proc/self/exe", error).string());

    int code = 1;
    {
        SkinShowWindow window(options);
        if (!window.locate()) {
            WindowHost::setLayer(nullptr);
            return 1;
        }
        if (window.create(0, "Inkwarden skin", WS_POPUP | WS_CLIPCHILDREN, 0) == 0 ||
            window.getPaintManager().getRoot() == nullptr) {
            std::fprintf(stderr, "inkwarden-tool skin show: the skin did not load\n");
            WindowHost::setLayer(nullptr);
            return 1;
        }
        window.setIcon(ICON_RESOURCE_ID);
        window.centerWindow();
        window.showWindow();
        std::printf("shown\n");
        std::fflush(stdout);
        if (!options.screenshot.empty())
            window.startScreenshotTimer();
        code = WindowHost::messageLoop();
    }
    WindowHost::setLayer(nullptr);
    return code;
}

} // namespace inkwarden::tool

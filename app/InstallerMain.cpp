// inkwarden-installer: the installer's window on the desktop. The one option honoured is
// -test_url:<package URL>; everything else starts from the window.
#include "app/CMainFrame.h"
#include "app/OptionMap.h"
#include "platform/Paths.h"
#include "ui/host/WindowHost.h"
#include "ui/native/gtk/GtkWindowLayer.h"

#include <climits>
#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

std::string ProgramPath(const char* argv0) {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (length > 0) {
        return std::string(buffer, static_cast<std::size_t>(length));
    }
    return argv0 != nullptr ? argv0 : "";
}

} // namespace

int main(int argc, char** argv) {
    using namespace inkwarden;
    // No window without a display: say so instead of failing somewhere deeper.
    std::unique_ptr<GtkWindowLayer> layer = GtkWindowLayer::open();
    if (!layer) {
        std::fprintf(stderr, "inkwarden-installer: cannot open a display (is DISPLAY set?)\n");
        return 1;
    }
    WindowHost::setLayer(layer.get());

    // The skin and the program's own files are found from the program's folder.
    const std::string program = ProgramPath(argc > 0 ? argv[0] : nullptr);
    WindowHost::setInstance(program);
    const std::string folder = ParentPath(program);
    if (!folder.empty() && ::chdir(folder.c_str()) != 0) {
        std::printf("chdir %s failed\n", folder.c_str());
    }

    {
        // The one option honoured reaches the window before it is created.
        const OptionMap options = ParseCommandLine(argc, argv, ":");
        auto frame = std::make_unique<CMainFrame>();
        frame->test_url = TestUrlOption(options);
        // The skin gives the real size; the window is centred on the work area.
        frame->create(0, CMainFrame::WINDOW_TITLE, CMainFrame::WINDOW_STYLE, 0);
        frame->centerWindow();
        frame->showWindow(true, true);
        WindowHost::messageLoop();
        // The window object goes first, then the options.
        frame.reset();
    }
    WindowHost::setLayer(nullptr);
    return 0;
}

// inkwarden-installer: the installer's window on the desktop. The options honoured are
// -test_url:<package URL> and -offline_dir:<bundle folder>; everything else starts from the
// window. --help and --version answer before any window or event.
#include "BuildConfig.h"
#include "app/CMainFrame.h"
#include "app/InstallerLanguage.h"
#include "app/OptionMap.h"
#include "net/ProxyChoice.h"
#include "platform/DiagnosticSink.h"
#include "platform/Paths.h"
#include "ui/host/WindowHost.h"
#include "ui/native/gtk/GtkWindowLayer.h"

#include <climits>
#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* USAGE =
    "Usage: inkwarden-installer [-test_url:URL | -offline_dir:DIR]\n"
    "Installs Inkwarden, the printer assistant: asks the version service for the current\n"
    "release, downloads its package, runs it with the choices made in the window and starts\n"
    "the product.\n"
    "\n"
    "  -test_url:URL   install the package at URL instead of the announced one; the\n"
    "                  installed product must then carry the package's version\n"
    "  -offline_dir:DIR  install the release in the offline bundle DIR (release.json,\n"
    "                  release.json.sig and the package, signed with the release key);\n"
    "                  no version query is made\n"
    "      --help      show this help and exit\n"
    "      --version   show the version and exit\n"
    "\n"
    "Other arguments are ignored. As root the product goes to /opt/Inkwarden and the\n"
    "install location is kept in /etc/inkwarden/machine.reg; any other user installs for\n"
    "himself, into $XDG_DATA_HOME/Inkwarden (~/.local/share/Inkwarden), and keeps it in\n"
    "$XDG_CONFIG_HOME/inkwarden/machine.reg. INKWARDEN_REGISTRY names another file.\n"
    "The package is downloaded into /var/cache/inkwarden (root) or $XDG_CACHE_HOME/inkwarden\n"
    "(~/.cache/inkwarden); INKWARDEN_CACHE_DIR names another folder. The diagnostic lines\n"
    "also go to $XDG_STATE_HOME/inkwarden/installer.log (~/.local/state/inkwarden).\n";

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
    FollowDesktopProxySettings();
    const std::vector<std::string> arguments(argv, argv + argc);
    switch (FindProgramRequest(arguments)) {
    case ProgramRequest::HELP:
        std::fputs(USAGE, stdout);
        return 0;
    case ProgramRequest::VERSION:
        std::printf("inkwarden-installer %s\n", build_config::VERSION);
        return 0;
    case ProgramRequest::RUN:
        break;
    }

    // The diagnostic lines also go to the log a person can attach to a support request.
    if (!DiagnosticSink::Shared().OpenLog(InstallerLogPath())) {
        std::fprintf(stderr, "inkwarden-installer: cannot write the log %s\n",
                     InstallerLogPath().c_str());
    }

    // The language first: GTK's own texts follow the choice it makes.
    const std::string program = ProgramPath(argc > 0 ? argv[0] : nullptr);
    InitInstallerLanguage(program);

    // No window without a display: say so instead of failing somewhere deeper.
    std::unique_ptr<GtkWindowLayer> layer = GtkWindowLayer::open();
    if (!layer) {
        std::fprintf(stderr, "inkwarden-installer: cannot open a display (is DISPLAY set?)\n");
        return 1;
    }
    WindowHost::setLayer(layer.get());

    // The skin and the program's own files are found from the program's folder.
    WindowHost::setInstance(program);
    const std::string folder = ParentPath(program);
    if (!folder.empty() && ::chdir(folder.c_str()) != 0) {
        PrintDiagnostic("chdir %s failed\n", folder.c_str());
    }

    {
        // The options honoured reach the window before it is created.
        const OptionMap options = ParseCommandLine(arguments, ":");
        auto frame = std::make_unique<CMainFrame>();
        frame->controller.test_url = TestUrlOption(options);
        frame->controller.offline_dir = OfflineDirOption(options);
        // The skin gives the real size; the window is centred on the work area.
        frame->create(0, Tr(CMainFrame::WINDOW_TITLE), CMainFrame::WINDOW_STYLE, 0);
        frame->centerWindow();
        frame->showWindow(true, true);
        WindowHost::messageLoop();
        // The window object goes first, then the options.
        frame.reset();
    }
    WindowHost::setLayer(nullptr);
    return 0;
}

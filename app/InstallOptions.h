#pragma once

#include "app/InstallController.h"
#include "platform/Translation.h"
#include "ui/native/INativeWindowLayer.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace inkwarden {

class CButtonUI;
class CCheckBoxUI;
class CEditUI;
class CLabelUI;

// The last component of text (taken before trailing "/" go) decides: unless it already is
// name (ignoring case), "/" and name are appended to text without its trailing "/".
std::string NormalizeInstallFolder(const std::string& text, const std::string& name);

// The user's choices before an install and the checks that guard the start button: the
// install folder (a previous install's, else the skin's default for root and the user's
// data folder for anyone else), the folder browser, the free-space
// rule, the licence and shortcut boxes. Runs on the UI thread; the window sets the control
// references it found and the owner of the dialogs. The choices go to the controller, which
// starts the attempt with them.
class InstallOptions {
public:
    static constexpr std::uint64_t REQUIRED_SPACE = 0xD900000; // 217 MiB
    static constexpr const char* PRODUCT_FOLDER_NAME = "Inkwarden";
    static constexpr const char* REGISTRY_KEY =
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Inkwarden";
    static constexpr const char* REGISTRY_VALUE = "InstallLocation";
    static constexpr const char* INVALID_FOLDER_TEXT =
        N_("This folder cannot be used for the install; choose another one.");
    static constexpr const char* INVALID_FOLDER_CAPTION = N_("Error");
    static constexpr const char* BROWSE_PROMPT = N_("Install folder");

    // Free bytes for a folder that may not exist yet; nothing when the query fails.
    using FreeSpaceQuery = std::function<std::optional<std::uint64_t>(const std::string& folder)>;

    explicit InstallOptions(InstallController& controller);

    // The owner of the message box and the folder browser.
    void SetDialogOwner(INativeWindowLayer* layer, NativeWindowId owner);
    // By default the volume of the nearest existing folder answers.
    void SetFreeSpaceQuery(FreeSpaceQuery query) { free_space_ = std::move(query); }
    // Whether the install is the machine's (root) or the user's; by default the process's
    // effective user decides.
    void SetRunsAsRoot(bool root) { runs_as_root_ = root; }

    // Initialisation, in the window's order: the folder first, the boxes once found.
    void InitInstallFolder();
    void InitOptionBoxes();

    void OnStartClicked();
    void OnBrowseClicked();
    void UpdateDiskSpace();
    // A box's click comes before the box flips: the new state is the opposite of its own.
    void OnLicenceClicked();
    void OnDesktopLinkClicked();
    void OnStartLinkClicked();
    void OnBootupClicked();
    // Usage events stop at once and for the rest of the run when the box is cleared.
    void OnEventsClicked();

    // Control references; "install_path" and "btn_install_start" must be there.
    CButtonUI* start_button = nullptr;
    CCheckBoxUI* agree_box = nullptr;
    CCheckBoxUI* desk_link_box = nullptr;
    CCheckBoxUI* start_link_box = nullptr;
    CCheckBoxUI* bootup_box = nullptr;
    CCheckBoxUI* events_box = nullptr;
    CEditUI* install_path = nullptr;
    CLabelUI* space_required = nullptr;
    CLabelUI* space_available = nullptr;
    CLabelUI* disk_space_error = nullptr;

private:
    InstallController& controller_;
    INativeWindowLayer* layer_ = nullptr;
    NativeWindowId owner_ = 0;
    FreeSpaceQuery free_space_;
    bool runs_as_root_;
};

} // namespace inkwarden

#include "app/InstallOptions.h"

#include "app/FolderBrowser.h"
#include "app/InstallFolderCheck.h"
#include "platform/DirectoryHelpers.h"
#include "platform/Paths.h"
#include "platform/RegistryFile.h"
#include "platform/TextEncoding.h"
#include "telemetry/EventCodes.h"
#include "ui/controls/CButtonUI.h"
#include "ui/controls/CCheckBoxUI.h"
#include "ui/controls/CEditUI.h"
#include "ui/controls/CLabelUI.h"

namespace inkwarden {

std::string NormalizeInstallFolder(const std::string& text, const std::string& name) {
    // The last component comes from the input, before the trailing "/" go.
    std::string result = text;
    const std::size_t cut = text.rfind('/');
    const std::string last = cut == std::string::npos ? text : text.substr(cut + 1);
    while (!result.empty() && result.back() == '/') {
        result.pop_back();
    }
    if (!EqualsIgnoringAsciiCase(last, name)) {
        result += "/" + name;
    }
    return result;
}

InstallOptions::InstallOptions(InstallController& controller)
    : controller_(controller), runs_as_root_(RunsAsRoot()) {}

void InstallOptions::SetDialogOwner(INativeWindowLayer* layer, NativeWindowId owner) {
    layer_ = layer;
    owner_ = owner;
}

void InstallOptions::InitInstallFolder() {
    // A skin without the folder edit cannot install anywhere chosen; it must not crash.
    if (install_path == nullptr) {
        return;
    }
    const std::string previous = ReadMachineString(REGISTRY_KEY, REGISTRY_VALUE);
    if (!previous.empty()) {
        controller_.install_folder = previous;
        install_path->setText(previous);
    } else if (!runs_as_root_) {
        // The skin's default is the machine's folder, which only root can write.
        controller_.install_folder = UserDataFolder() + "/" + PRODUCT_FOLDER_NAME;
        install_path->setText(controller_.install_folder);
    } else {
        controller_.install_folder = install_path->getText();
    }
}

void InstallOptions::InitOptionBoxes() {
    if (agree_box != nullptr) {
        agree_box->selected(controller_.licence_agreed);
        if (start_button != nullptr) {
            start_button->setEnabled(controller_.licence_agreed);
        }
    }
    if (desk_link_box != nullptr) {
        desk_link_box->selected(controller_.desktop_link);
    }
    if (start_link_box != nullptr) {
        start_link_box->selected(controller_.start_link);
    }
    if (bootup_box != nullptr) {
        bootup_box->selected(controller_.bootup);
    }
    // DO_NOT_TRACK has already switched the events off: the box shows it.
    if (events_box != nullptr) {
        events_box->selected(controller_.reporter.IsEnabled());
    }
}

void InstallOptions::OnStartClicked() {
    controller_.reporter.Report(event_code::START_CLICKED);
    // A folder that cannot be written, or that the package's command line cannot carry as one
    // argument, keeps the configuration page, with a message box. The second is asked first:
    // the probe creates the folder.
    if (install_path != nullptr) {
        const std::string text = install_path->getText();
        // A read-only or foreign folder is named as such: the person can act on that.
        const FolderVerdict verdict = CheckInstallFolder(text);
        std::string refusal = FolderVerdictText(verdict);
        if (refusal.empty() &&
            (!FolderFitsPackageCommandLine(text) || !ProbeWritableFolder(text))) {
            refusal = Tr(INVALID_FOLDER_TEXT);
        }
        if (!refusal.empty()) {
            if (layer_ != nullptr) {
                layer_->messageBox(owner_, refusal, Tr(INVALID_FOLDER_CAPTION),
                                   MB_OK | MB_ICONERROR);
            }
            return;
        }
        controller_.install_folder = NormalizeInstallFolder(text, PRODUCT_FOLDER_NAME);
        install_path->setText(controller_.install_folder);
    }
    controller_.ShowPage(InstallController::PAGE_INSTALLING);
    controller_.StartInstall();
}

void InstallOptions::OnBrowseClicked() {
    controller_.reporter.Report(event_code::BROWSE_CLICKED);
    if (install_path == nullptr) {
        return;
    }
    // The browser opens at the folder, or the nearest one that exists.
    const std::string initial = NearestExistingFolder(install_path->getText());
    const std::string chosen =
        layer_ != nullptr ? BrowseForFolder(*layer_, owner_, initial, Tr(BROWSE_PROMPT)) : "";
    // Taken as it is; the start click normalises it.
    if (!chosen.empty()) {
        install_path->setText(chosen);
        controller_.install_folder = chosen;
    }
    // The space texts follow the folder, also after a cancel.
    UpdateDiskSpace();
}

void InstallOptions::UpdateDiskSpace() {
    // A failed query counts as no space at all.
    const std::optional<std::uint64_t> answer =
        free_space_ ? free_space_(controller_.install_folder)
                    : VolumeFreeBytes(NearestExistingFolder(controller_.install_folder));
    const std::uint64_t free_bytes = answer.value_or(0);
    const bool enough = free_bytes >= REQUIRED_SPACE;
    if (space_required != nullptr) {
        space_required->setText(FormatSize(REQUIRED_SPACE));
    }
    if (space_available != nullptr) {
        space_available->setText(FormatSize(free_bytes));
    }
    if (controller_.licence_agreed && start_button != nullptr) {
        start_button->setEnabled(enough);
    }
    if (disk_space_error != nullptr) {
        disk_space_error->setVisible(!enough);
    }
}

void InstallOptions::OnLicenceClicked() {
    if (agree_box == nullptr) {
        return;
    }
    controller_.licence_agreed = !agree_box->isSelected();
    // Ticking re-applies the free-space rule, which may disable the button again.
    if (start_button != nullptr) {
        start_button->setEnabled(controller_.licence_agreed);
        if (controller_.licence_agreed) {
            UpdateDiskSpace();
        }
    }
    controller_.reporter.Report(controller_.licence_agreed ? event_code::LICENCE_TICKED
                                                           : event_code::LICENCE_CLEARED);
}

void InstallOptions::OnDesktopLinkClicked() {
    if (desk_link_box == nullptr) {
        return;
    }
    controller_.desktop_link = !desk_link_box->isSelected();
    controller_.reporter.Report(controller_.desktop_link ? event_code::DESKTOP_LINK_TICKED
                                                         : event_code::DESKTOP_LINK_CLEARED);
}

void InstallOptions::OnStartLinkClicked() {
    if (start_link_box == nullptr) {
        return;
    }
    controller_.start_link = !start_link_box->isSelected();
    controller_.reporter.Report(controller_.start_link ? event_code::START_LINK_TICKED
                                                       : event_code::START_LINK_CLEARED);
}

void InstallOptions::OnBootupClicked() {
    if (bootup_box == nullptr) {
        return;
    }
    controller_.bootup = !bootup_box->isSelected();
}

void InstallOptions::OnEventsClicked() {
    if (events_box == nullptr) {
        return;
    }
    controller_.reporter.SetEnabled(!events_box->isSelected());
}

} // namespace inkwarden

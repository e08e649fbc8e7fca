// The sample product "InkwardenMain.exe": shows that it was installed and started.
#include "BuildConfig.h"
#include "SampleProduct.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

constexpr const char* USAGE = "Usage: InkwardenMain.exe [-printer_detect]\n"
                              "The sample product: says where it runs and leaves the marker\n"
                              "InkwardenMain.started in its working folder.\n"
                              "\n"
                              "  -printer_detect   started by a shortcut or the installer\n"
                              "      --help        show this help and exit\n"
                              "      --version     show the version and exit\n";

} // namespace

int main(int argc, char** argv) {
    bool detect = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], inkwarden::demo::PRODUCT_OPTION) == 0) {
            detect = true;
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(USAGE, stdout);
            return 0;
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("inkwarden-sample-product %s\nStands in for Inkwarden %s.\n",
                        inkwarden::build_config::VERSION, INKWARDEN_PRODUCT_VERSION);
            return 0;
        } else {
            std::fprintf(stderr, "InkwardenMain.exe: unknown argument '%s'\n", argv[i]);
            std::fputs(USAGE, stderr);
            return 2;
        }
    }
    char folder[4096] = "?";
    if (getcwd(folder, sizeof(folder)) == nullptr) {
        std::strcpy(folder, "?");
    }
    std::printf("Inkwarden %s is running in %s%s\n", INKWARDEN_PRODUCT_VERSION, folder,
                detect ? " (printer detection)" : "");
    // A marker beside the product, so that demos and tests can see the start; renamed into
    // place, so that whoever sees it also sees what it says.
    if (FILE* marker = std::fopen("InkwardenMain.started.new", "w")) {
        std::fprintf(marker, "%s\n", detect ? inkwarden::demo::PRODUCT_OPTION : "");
        if (std::fclose(marker) == 0) {
            std::rename("InkwardenMain.started.new", "InkwardenMain.started");
        }
    }
    return 0;
}

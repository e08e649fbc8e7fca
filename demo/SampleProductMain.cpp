// The sample product "InkwardenMain.exe": shows that it was installed and started.
#include <cstdio>
#include <cstring>
#include <unistd.h>

int main(int argc, char** argv) {
    bool detect = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-printer_detect") == 0) {
            detect = true;
        }
    }
    char folder[4096] = "?";
    if (getcwd(folder, sizeof(folder)) == nullptr) {
        std::strcpy(folder, "?");
    }
    std::printf("Inkwarden %s is running in %s%s\n", INKWARDEN_PRODUCT_VERSION, folder,
                detect ? " (printer detection)" : "");
    // A marker beside the product, so that demos and tests can see the start.
    if (FILE* marker = std::fopen("InkwardenMain.started", "w")) {
        std::fprintf(marker, "%s\n", detect ? "-printer_detect" : "");
        std::fclose(marker);
    }
    return 0;
}

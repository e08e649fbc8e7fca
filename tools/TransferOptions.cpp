#include "TransferOptions.h"

#include "net/TlsPolicy.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace inkwarden::tool {

TransferOption TakeTransferOption(int argc, char** argv, int& i) {
    if (std::strcmp(argv[i], "--ca-bundle") != 0) {
        return TransferOption::NOT_OURS;
    }
    if (i + 1 >= argc) {
        std::fprintf(stderr, "inkwarden-tool: --ca-bundle needs a file\n");
        return TransferOption::INVALID;
    }
    const char* path = argv[i + 1];
    // Said now, rather than as a failed check of the first server.
    if (::access(path, R_OK) != 0) {
        std::fprintf(stderr, "inkwarden-tool: cannot read the CA bundle %s\n", path);
        return TransferOption::INVALID;
    }
    SetCaBundle(path);
    i += 2;
    return TransferOption::TAKEN;
}

} // namespace inkwarden::tool

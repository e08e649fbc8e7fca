#include "TransferOptions.h"

#include "net/ProxyCredentials.h"
#include "net/TlsPolicy.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace inkwarden::tool {
namespace {

// The environment variable a script hands the proxy password in; a command line would show
// it to every user of the machine.
constexpr const char* PROXY_PASSWORD_VARIABLE = "INKWARDEN_PROXY_PASSWORD";

// Reads one line from the terminal without showing it; false without a terminal.
bool ReadPasswordFromTerminal(const std::string& user, std::string& password) {
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0) {
        return false;
    }
    // Echo goes off before the prompt shows: what is typed after it is neither shown nor
    // flushed away.
    termios saved{};
    const bool quiet = ::tcgetattr(tty, &saved) == 0;
    if (quiet) {
        termios silent = saved;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(tty, TCSAFLUSH, &silent);
    }
    const std::string prompt = "Proxy password for " + user + ": ";
    (void)!::write(tty, prompt.data(), prompt.size());
    char c = 0;
    while (::read(tty, &c, 1) == 1 && c != '\n') {
        password.push_back(c);
    }
    if (quiet) {
        ::tcsetattr(tty, TCSAFLUSH, &saved);
    }
    (void)!::write(tty, "\n", 1);
    ::close(tty);
    return true;
}

TransferOption TakeProxyUser(int argc, char** argv, int& i) {
    if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        std::fprintf(stderr, "inkwarden-tool: --proxy-user needs a user name\n");
        return TransferOption::INVALID;
    }
    const std::string user = argv[i + 1];
    std::string password;
    if (const char* given = std::getenv(PROXY_PASSWORD_VARIABLE)) {
        password = given;
    } else if (!ReadPasswordFromTerminal(user, password)) {
        std::fprintf(stderr, "inkwarden-tool: --proxy-user needs a terminal or %s\n",
                     PROXY_PASSWORD_VARIABLE);
        return TransferOption::INVALID;
    }
    RememberProxyCredentials(std::string(), ProxyCredentials{user, password});
    i += 2;
    return TransferOption::TAKEN;
}

TransferOption TakeCaBundle(int argc, char** argv, int& i) {
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

} // namespace

TransferOption TakeTransferOption(int argc, char** argv, int& i) {
    if (std::strcmp(argv[i], "--ca-bundle") == 0) {
        return TakeCaBundle(argc, argv, i);
    }
    if (std::strcmp(argv[i], "--proxy-user") == 0) {
        return TakeProxyUser(argc, argv, i);
    }
    return TransferOption::NOT_OURS;
}

} // namespace inkwarden::tool

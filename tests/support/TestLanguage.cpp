#include "tests/support/TestLanguage.h"

#include "BuildConfig.h"
#include "app/InstallerLanguage.h"

#include <cstdlib>

namespace inkwarden::test {

std::string UseLocale(const char* locale) {
    ::setenv("LC_ALL", locale, 1);
    ::unsetenv("LANGUAGE");
    // The catalogues are found beside bin/, as for the programs of the build tree.
    return InitInstallerLanguage(std::string(build_config::BINARY_DIR) + "/bin/tests");
}

} // namespace inkwarden::test

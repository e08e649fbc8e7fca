#include "tests/support/TempDir.h"

#include <stdexcept>
#include <stdlib.h>
#include <system_error>

namespace inkwarden::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "iw-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

} // namespace inkwarden::test

#pragma once

#include "tests/support/DemoServiceProcess.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace inkwarden::test {

// A temporary world for one install: the sample package under packages/, a release file, and
// the temporary folder, registry file and home folder that the process's environment names.
// Everything goes with the object.
class InstallWorld {
public:
    // The folder is made under /tmp with the given name prefix.
    explicit InstallWorld(const std::string& prefix = "inkwarden-install");
    ~InstallWorld();
    InstallWorld(const InstallWorld&) = delete;
    InstallWorld& operator=(const InstallWorld&) = delete;

    // The sample package's file version, which the product it installs carries too.
    std::string productVersion() const;

    // A release file of the six fields; the URLs may use "{service}". Returns its path.
    std::string writeRelease(const std::string& version, const std::string& url,
                             const std::string& silent_url) const;

    // A package under packages/ that is a shell script.
    void writeScriptPackage(const std::string& name, const std::string& body) const;

    // The demo service with this release and packages/; running() tells whether it started.
    std::unique_ptr<DemoServiceProcess> startService(const std::string& release,
                                                     std::vector<std::string> extra = {}) const;

    std::filesystem::path root;
};

} // namespace inkwarden::test

#include "tests/support/InstallWorld.h"

#include "BuildConfig.h"
#include "platform/FileVersion.h"

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>

namespace inkwarden::test {

namespace fs = std::filesystem;

InstallWorld::InstallWorld(const std::string& prefix) {
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    root = ::mkdtemp(pattern.data());
    fs::create_directories(root / "packages");
    fs::create_directories(root / "tmp");
    fs::create_directories(root / "home");
    fs::copy_file(fs::path(build_config::BINARY_DIR) / "demo/packages/InkwardenSetup.bin",
                  root / "packages/InkwardenSetup.bin");
    ::setenv("TMPDIR", (root / "tmp").c_str(), 1);
    ::setenv("INKWARDEN_REGISTRY", (root / "machine.reg").c_str(), 1);
    ::setenv("INKWARDEN_CACHE_DIR", (root / "tmp").c_str(), 1);
    ::setenv("HOME", (root / "home").c_str(), 1);
    ::unsetenv("XDG_DESKTOP_DIR");
    ::unsetenv("XDG_DATA_HOME");
    ::unsetenv("XDG_CONFIG_HOME");
}

InstallWorld::~InstallWorld() {
    ::unsetenv("TMPDIR"); // the folder goes with the world
    ::unsetenv("INKWARDEN_CACHE_DIR");
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

std::string InstallWorld::productVersion() const {
    return ReadFileVersion((root / "packages/InkwardenSetup.bin").string()).file_version;
}

std::string InstallWorld::writeRelease(const std::string& version, const std::string& url,
                                       const std::string& silent_url) const {
    const nlohmann::json release = {
        {"Soft_name", "墨守精灵"},           {"Version_number", version},
        {"Version_description", "test"},     {"Download_url", url},
        {"Download_silent_url", silent_url}, {"Pubdate", "2026-12-08"}};
    const fs::path path = root / "release.json";
    std::ofstream(path) << release.dump();
    return path.string();
}

void InstallWorld::writeScriptPackage(const std::string& name, const std::string& body) const {
    std::ofstream(root / "packages" / name) << "#!/bin/sh\n" << body << "\n";
}

std::unique_ptr<DemoServiceProcess>
InstallWorld::startService(const std::string& release, std::vector<std::string> extra) const {
    std::vector<std::string> args = {"--release", release, "--packages",
                                     (root / "packages").string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return std::make_unique<DemoServiceProcess>(args);
}

} // namespace inkwarden::test

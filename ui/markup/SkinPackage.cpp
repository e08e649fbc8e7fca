#include "ui/markup/SkinPackage.h"

#include "platform/UniqueResource.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <sys/stat.h>
#include <zip.h>

namespace inkwarden {
namespace {

constexpr const char* MEMORY_ZIP_NAME = "membuffer";

using ZipArchive = UniqueResource<zip_t, zip_discard>;
using ZipEntry = UniqueResource<zip_file_t, zip_fclose>;
using File = UniqueResource<std::FILE, ::fclose>;

struct State {
    std::string resource_path;
    std::string zip_name;
    bool zip_caching = true;
    ZipArchive cached_zip;
    // The in-memory archive's bytes stay allocated for the process.
    std::vector<unsigned char> memory_zip;
};

State& state() {
    static State instance;
    return instance;
}

ZipArchive OpenZipFile(const std::string& path) {
    int error = 0;
    return ZipArchive(zip_open(path.c_str(), ZIP_RDONLY, &error));
}

ZipArchive OpenZipMemory(const std::vector<unsigned char>& bytes) {
    if (bytes.empty()) {
        return nullptr;
    }
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    zip_error_fini(&error);
    if (source == nullptr) {
        return nullptr;
    }
    zip_error_init(&error);
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    zip_error_fini(&error);
    if (archive == nullptr) {
        zip_source_free(source);
    }
    return ZipArchive(archive);
}

bool ReadFromDisk(const std::string& path, std::vector<unsigned char>& bytes, std::string& error) {
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = "Error opening file";
        return false;
    }
    // Folders open here too, with a meaningless length: only regular files count.
    struct stat info;
    if (::fstat(::fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "Error opening file";
        return false;
    }
    const off_t size = info.st_size;
    if (size == 0) {
        error = "File is empty";
        return false;
    }
    if (static_cast<unsigned long>(size) > SkinPackage::MAX_FILE_SIZE) {
        error = "File too large";
        return false;
    }
    bytes.resize(static_cast<size_t>(size));
    const size_t read = std::fread(bytes.data(), 1, bytes.size(), file.get());
    if (read != bytes.size()) {
        bytes.clear();
        error = "Could not read file";
        return false;
    }
    return true;
}

bool ReadFromZip(zip_t* archive, const std::string& name, std::vector<unsigned char>& bytes,
                 std::string& error) {
    if (name.size() > SkinPackage::MAX_ENTRY_NAME) {
        error = "Could not find ziped file";
        return false;
    }
    std::string entry_name = name;
    for (char& c : entry_name) {
        if (c == '\\') {
            c = '/';
        }
    }
    const zip_int64_t index = zip_name_locate(archive, entry_name.c_str(), ZIP_FL_NOCASE);
    if (index < 0) {
        error = "Could not find ziped file";
        return false;
    }
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &stat) != 0 ||
        (stat.valid & ZIP_STAT_SIZE) == 0) {
        error = "Could not unzip file";
        return false;
    }
    if (stat.size == 0) {
        error = "File is empty";
        return false;
    }
    if (stat.size > SkinPackage::MAX_FILE_SIZE) {
        error = "File too large";
        return false;
    }
    ZipEntry entry(zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0));
    if (!entry) {
        error = "Could not unzip file";
        return false;
    }
    bytes.resize(static_cast<size_t>(stat.size));
    size_t done = 0;
    while (done < bytes.size()) {
        const zip_int64_t got = zip_fread(entry.get(), bytes.data() + done, bytes.size() - done);
        if (got <= 0) {
            bytes.clear();
            error = "Could not unzip file";
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

} // namespace

void SkinPackage::setResourcePath(const std::string& path) {
    std::string& stored = state().resource_path;
    stored = path;
    if (!stored.empty() && stored.back() != '/' && stored.back() != '\\') {
        stored += '/';
    }
}

const std::string& SkinPackage::resourcePath() {
    return state().resource_path;
}

void SkinPackage::setResourceZip(const std::string& file_name, bool cached) {
    State& s = state();
    if (s.zip_name == file_name && s.cached_zip && cached) {
        return;
    }
    s.cached_zip.reset();
    s.zip_name = file_name;
    s.zip_caching = cached;
    if (cached && !file_name.empty()) {
        s.cached_zip = OpenZipFile(s.resource_path + file_name);
    }
}

void SkinPackage::setResourceZipMemory(std::span<const unsigned char> bytes) {
    State& s = state();
    if (s.zip_name == MEMORY_ZIP_NAME) {
        return;
    }
    s.cached_zip.reset();
    s.zip_name = MEMORY_ZIP_NAME;
    s.memory_zip.assign(bytes.begin(), bytes.end());
    if (s.zip_caching) {
        s.cached_zip = OpenZipMemory(s.memory_zip);
    }
}

const std::string& SkinPackage::resourceZipName() {
    return state().zip_name;
}

bool SkinPackage::readFile(const std::string& name, std::vector<unsigned char>& bytes,
                           std::string& error) {
    bytes.clear();
    error.clear();
    State& s = state();
    if (s.zip_name.empty()) {
        // Skins name their files with "\" as on their home platform; here "/" separates.
        std::string path = s.resource_path + name;
        std::replace(path.begin(), path.end(), '\\', '/');
        return ReadFromDisk(path, bytes, error);
    }
    if (s.cached_zip) {
        return ReadFromZip(s.cached_zip.get(), name, bytes, error);
    }
    // Not cached: opened for this read only.
    ZipArchive archive = s.zip_name == MEMORY_ZIP_NAME ? OpenZipMemory(s.memory_zip)
                                                       : OpenZipFile(s.resource_path + s.zip_name);
    if (!archive) {
        error = "Error opening zip file";
        return false;
    }
    return ReadFromZip(archive.get(), name, bytes, error);
}

void SkinPackage::reset() {
    State& s = state();
    s.cached_zip.reset();
    s.resource_path.clear();
    s.zip_name.clear();
    s.zip_caching = true;
    s.memory_zip.clear();
    s.memory_zip.shrink_to_fit();
}

} // namespace inkwarden

#pragma once

#include "platform/UniqueFd.h"

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

namespace inkwarden {

// Process-wide diagnostic log writer. It starts disabled without a path; SetLogPath enables it.
class CBaseLog {
public:
    static constexpr std::size_t PATH_CAPACITY = 260;
    static constexpr std::size_t MESSAGE_CAPACITY = 512;
    static constexpr std::size_t TAG_WIDTH = 29;
    static constexpr std::size_t RECORD_CAPACITY = 582;

    static CBaseLog& Instance();

    CBaseLog(const CBaseLog&) = delete;
    CBaseLog& operator=(const CBaseLog&) = delete;

    // Sets the log file and enables the writer; an empty path disables it again. A path that
    // does not fit the path buffer is refused and changes nothing.
    bool SetLogPath(const std::string& new_path);

    bool LogOpenFile();

    void WriteRecord(int line, const char* source_file, const char* function, bool echo,
                     const char* format, ...) __attribute__((format(printf, 6, 7)));
    void WriteRecordV(int line, const char* source_file, const char* function, bool echo,
                      const char* format, va_list args) __attribute__((format(printf, 6, 0)));

    // The right-aligned 29-column tag of a record.
    static std::string BuildTag(std::string_view source_file, std::string_view function);

private:
    CBaseLog() = default;

    // The whole record text: time, line, tag, process and thread, message, line end.
    static std::string BuildRecord(int line, const char* source_file, const char* function,
                                   const std::string& message);

    std::atomic<int> enabled{0};
    std::atomic<bool> file_open{false};
    std::mutex lock; // guards path, file and each append
    std::string path;
    UniqueFd file;
};

} // namespace inkwarden

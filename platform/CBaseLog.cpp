#include "platform/CBaseLog.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace inkwarden {
namespace {

constexpr const char* FORMAT_TOO_LONG = "The format string is too long.";
constexpr const char* LINE_END = "\r\n";
constexpr int TM_YEAR_BASE = 1900;
constexpr mode_t LOG_FILE_MODE = 0644;
// A UTF-8 continuation byte is 10xxxxxx; a character has at most three of them.
constexpr unsigned char CONTINUATION_MASK = 0xC0;
constexpr unsigned char CONTINUATION_BITS = 0x80;
constexpr int MAX_CONTINUATION_BYTES = 3;

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & CONTINUATION_MASK) == CONTINUATION_BITS;
}

// Longest prefix of at most max_bytes that does not end inside a UTF-8 character.
std::string CutAtCharacter(const std::string& text, std::size_t max_bytes) {
    if (text.size() <= max_bytes) {
        return text;
    }
    std::size_t length = max_bytes;
    // Beyond the longest run of continuation bytes the text is not UTF-8 and a plain byte cut
    // is as good as any.
    for (int step = 0;
         step < MAX_CONTINUATION_BYTES && length > 0 && IsContinuationByte(text[length]); ++step) {
        --length;
    }
    if (IsContinuationByte(text[length])) {
        length = max_bytes;
    }
    return text.substr(0, length);
}

__attribute__((format(printf, 1, 0))) std::string FormatMessageText(const char* format,
                                                                    va_list args) {
    if (std::strlen(format) >= CBaseLog::MESSAGE_CAPACITY) {
        return FORMAT_TOO_LONG;
    }
    char buffer[CBaseLog::MESSAGE_CAPACITY];
    va_list first;
    va_copy(first, args);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, first);
    va_end(first);
    if (length <= 0) {
        return {};
    }
    if (static_cast<std::size_t>(length) < sizeof buffer) {
        return buffer;
    }
    // Cut: format the whole text once more so the cut can see where characters end.
    std::string full(static_cast<std::size_t>(length) + 1, '\0');
    va_list second;
    va_copy(second, args);
    std::vsnprintf(full.data(), full.size(), format, second);
    va_end(second);
    full.resize(std::strlen(full.c_str()));
    return CutAtCharacter(full, CBaseLog::MESSAGE_CAPACITY - 1);
}

} // namespace

CBaseLog& CBaseLog::Instance() {
    // Never destroyed: records may still be written while other statics are torn down.
    static CBaseLog* instance = new CBaseLog();
    return *instance;
}

bool CBaseLog::SetLogPath(const std::string& new_path) {
    if (new_path.size() >= PATH_CAPACITY || new_path.find('\0') != std::string::npos) {
        return false;
    }
    std::lock_guard<std::mutex> guard(lock);
    // A new path takes effect with the next record, so the old file is let go now.
    file.reset();
    file_open.store(false);
    path = new_path;
    enabled.store(new_path.empty() ? 0 : 1);
    return true;
}

bool CBaseLog::LogOpenFile() {
    if (enabled.load() == 0) {
        return false;
    }
    if (file_open.load()) {
        return true;
    }
    std::lock_guard<std::mutex> guard(lock);
    if (!file.valid() && !path.empty()) {
        // Appending keeps earlier content and places every write at the end.
        file.reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, LOG_FILE_MODE));
        if (file.valid()) {
            // Written before other writers can see the file, so it is the opening's first record.
            const std::string first =
                BuildRecord(__LINE__, __FILE__, "CBaseLog::LogOpenFile", "日志系统初始化成功.");
            [[maybe_unused]] const ssize_t written =
                ::write(file.get(), first.data(), first.size());
            file_open.store(true);
        }
    }
    return file_open.load();
}

std::string CBaseLog::BuildTag(std::string_view source_file, std::string_view function) {
    std::string tag(TAG_WIDTH, ' ');
    if (function.size() >= TAG_WIDTH) {
        return std::string(function.substr(function.size() - TAG_WIDTH));
    }
    const std::size_t function_start = TAG_WIDTH - function.size();
    tag.replace(function_start, function.size(), function);
    if (function.size() < TAG_WIDTH - 1) {
        const std::size_t bar = function_start - 1;
        tag[bar] = '|';
        const std::size_t room = bar;
        const std::size_t taken = std::min(room, source_file.size());
        tag.replace(bar - taken, taken, source_file.substr(source_file.size() - taken));
    }
    return tag;
}

void CBaseLog::WriteRecord(int line, const char* source_file, const char* function, bool echo,
                           const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteRecordV(line, source_file, function, echo, format, args);
    va_end(args);
}

void CBaseLog::WriteRecordV(int line, const char* source_file, const char* function, bool echo,
                            const char* format, va_list args) {
    // Nothing to write.
    if (format == nullptr || format[0] == '\0') {
        return;
    }
    // Neither a file nor an echo wants the record.
    const bool open = LogOpenFile();
    if (!echo && !open) {
        return;
    }
    // Formatted outside the lock.
    const std::string record =
        BuildRecord(line, source_file, function, FormatMessageText(format, args));
    if (echo) {
        std::fwrite(record.data(), 1, record.size(), stdout);
    }
    // One write per record under the lock; write errors are ignored.
    std::lock_guard<std::mutex> guard(lock);
    if (file.valid()) {
        [[maybe_unused]] const ssize_t written = ::write(file.get(), record.data(), record.size());
    }
}

std::string CBaseLog::BuildRecord(int line, const char* source_file, const char* function,
                                  const std::string& message) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::string tag =
        BuildTag(source_file != nullptr ? source_file : "", function != nullptr ? function : "");
    // The message gives way when the record would pass its size, so that the record keeps its
    // line end and never runs into the next one.
    char header[RECORD_CAPACITY];
    int header_length =
        std::snprintf(header, sizeof header, "[%4d-%2d-%2d %2d:%2d:%2d][%4d][%s]---[%d:%d]",
                      local.tm_year + TM_YEAR_BASE, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min, local.tm_sec, line, tag.c_str(), static_cast<int>(::getpid()),
                      static_cast<int>(::gettid()));
    if (header_length < 0) {
        return {};
    }
    const std::size_t room =
        RECORD_CAPACITY - 1 - std::strlen(LINE_END) - static_cast<std::size_t>(header_length);
    std::string record(header, static_cast<std::size_t>(header_length));
    record += CutAtCharacter(message, room);
    record += LINE_END;
    return record;
}

} // namespace inkwarden

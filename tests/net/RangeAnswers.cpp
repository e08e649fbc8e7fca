#include "RangeAnswers.h"

namespace inkwarden::test {

std::string Head(int status, const std::string& extra) {
    return "HTTP/1.1 " + std::to_string(status) + " X\r\n" + extra + "Connection: close\r\n\r\n";
}

std::string PartialHead(int64_t first, int64_t last, int64_t total, const std::string& extra) {
    return Head(206, extra + "Content-Range: bytes " + std::to_string(first) + "-" +
                         std::to_string(last) + "/" + std::to_string(total) +
                         "\r\nContent-Length: " + std::to_string(last - first + 1) + "\r\n");
}

void AnswerFile(const FaultRequest& request, int fd, const std::string& content,
                const std::string& head_lines) {
    const int64_t size = static_cast<int64_t>(content.size());
    if (request.method == "HEAD") {
        FaultServer::send(
            fd, Head(200, head_lines + "Content-Length: " + std::to_string(size) + "\r\n"));
        return;
    }
    if (!request.has_range) {
        FaultServer::send(
            fd,
            Head(200, head_lines + "Content-Length: " + std::to_string(size) + "\r\n") + content);
        return;
    }
    const int64_t end = request.range_end < 0 ? size - 1 : request.range_end;
    const int64_t length = end - request.range_start + 1;
    FaultServer::send(
        fd,
        Head(206, head_lines + "Content-Range: bytes " + std::to_string(request.range_start) + "-" +
                      std::to_string(end) + "/" + std::to_string(size) +
                      "\r\nContent-Length: " + std::to_string(length) + "\r\n") +
            content.substr(static_cast<size_t>(request.range_start), static_cast<size_t>(length)));
}

} // namespace inkwarden::test

#include "tests/support/HostilePackageServer.h"

#include "tests/support/TestFiles.h"

#include <algorithm>

namespace inkwarden::test {
namespace {

constexpr int64_t TEN_GIGABYTES = 10'000'000'000;
constexpr int64_t STREAM_CHUNK = 1 << 16;

std::string Head(int status, const std::string& extra) {
    return "HTTP/1.1 " + std::to_string(status) + " X\r\n" + extra + "Connection: close\r\n\r\n";
}

std::string TagLine(const std::string& tag) {
    return tag.empty() ? std::string() : "ETag: \"" + tag + "\"\r\n";
}

} // namespace

HostilePackageServer::HostilePackageServer(Fault fault, int64_t size)
    : fault_(fault), file_(TestFiles::Pattern(0, size)), other_(TestFiles::Pattern(7, size)) {
    running_ = elsewhere_.start([this](const FaultRequest& request, int fd) {
        AnswerWith(request, fd, other_, "v9", true);
    }) && server_.start([this](const FaultRequest& request, int fd) { Answer(request, fd); });
}

HostilePackageServer::~HostilePackageServer() = default;

size_t HostilePackageServer::getCount() const {
    return static_cast<size_t>(gets_.load());
}

void HostilePackageServer::AnswerWith(const FaultRequest& request, int fd,
                                      const std::string& content, const std::string& tag,
                                      bool partial_answers) {
    const int64_t size = static_cast<int64_t>(content.size());
    const std::string head_lines = "Accept-Ranges: bytes\r\n" + TagLine(tag);
    if (request.method == "HEAD") {
        FaultServer::send(
            fd, Head(200, head_lines + "Content-Length: " + std::to_string(size) + "\r\n"));
        return;
    }
    if (!request.has_range || !partial_answers) {
        sent_ += size;
        FaultServer::send(
            fd,
            Head(200, TagLine(tag) + "Content-Length: " + std::to_string(size) + "\r\n") + content);
        return;
    }
    const int64_t first = request.range_start;
    const int64_t last = request.range_end < 0 ? size - 1 : std::min(request.range_end, size - 1);
    const int64_t length = last - first + 1;
    sent_ += length;
    FaultServer::send(fd,
                      Head(206, TagLine(tag) + "Content-Range: bytes " + std::to_string(first) +
                                    "-" + std::to_string(last) + "/" + std::to_string(size) +
                                    "\r\nContent-Length: " + std::to_string(length) + "\r\n") +
                          content.substr(static_cast<size_t>(first), static_cast<size_t>(length)));
}

void HostilePackageServer::Stream(int fd, int64_t length) {
    const std::string chunk(STREAM_CHUNK, 'Z');
    for (int64_t at = 0; at < length; at += STREAM_CHUNK) {
        if (!FaultServer::send(fd, chunk)) {
            return;
        }
        sent_ += STREAM_CHUNK;
    }
}

void HostilePackageServer::Answer(const FaultRequest& request, int fd) {
    const bool get = request.method == "GET";
    const int gets = get ? ++gets_ : gets_.load();
    const auto if_range = request.headers.find("if-range");
    const bool asked_for_v1 = if_range == request.headers.end() || if_range->second == "\"v1\"";
    switch (fault_) {
    case Fault::NONE:
        return AnswerWith(request, fd, file_, "v1", true);
    case Fault::WRONG_CONTENT_RANGE: {
        if (!get || !request.has_range) {
            return AnswerWith(request, fd, file_, "v1", true);
        }
        FaultRequest shifted = request;
        ++shifted.range_start;
        return AnswerWith(shifted, fd, file_, "v1", true);
    }
    case Fault::CHANGES_ONCE:
        if (gets > 2) {
            return AnswerWith(request, fd, other_, "v2", asked_for_v1 ? false : true);
        }
        return AnswerWith(request, fd, file_, "v1", true);
    case Fault::CHANGES_IGNORING_IF_RANGE:
        return gets > 2 ? AnswerWith(request, fd, other_, "v2", true)
                        : AnswerWith(request, fd, file_, "v1", true);
    case Fault::CHANGES_ALWAYS: {
        const std::string version = "v" + std::to_string(gets + 1);
        return AnswerWith(request, fd, gets % 2 == 0 ? file_ : other_, get ? version : "v1", true);
    }
    case Fault::SHORT_THEN_NEW_FILE_WITHOUT_TAG:
        if (!get) {
            return AnswerWith(request, fd, file_, "v1", true);
        }
        if (gets <= 6) {
            // The whole range announced, half of it sent.
            const int64_t first = request.range_start;
            const int64_t last = request.range_end;
            const int64_t half = (last - first + 1) / 2;
            sent_ += half;
            FaultServer::send(
                fd,
                Head(206, "Content-Range: bytes " + std::to_string(first) + "-" +
                              std::to_string(last) + "/" + std::to_string(file_.size()) +
                              "\r\nContent-Length: " + std::to_string(last - first + 1) + "\r\n") +
                    file_.substr(static_cast<size_t>(first), static_cast<size_t>(half)));
            return;
        }
        return AnswerWith(request, fd, other_, "", true);
    case Fault::MULTIPLE_CHOICES_BODY:
        if (!get) {
            return AnswerWith(request, fd, file_, "v1", true);
        }
        FaultServer::send(fd, Head(300, "Content-Length: 20000\r\n") + std::string(20000, 'X'));
        return;
    case Fault::SERVER_ERROR_BODY:
        if (!get) {
            return AnswerWith(request, fd, file_, "v1", true);
        }
        FaultServer::send(fd, Head(503, "Content-Length: 20\r\n") + "<p>try again</p>\r\n\r\n");
        return;
    case Fault::REDIRECT_TO_OTHER_HOST:
        if (!get) {
            return AnswerWith(request, fd, file_, "v1", true);
        }
        FaultServer::send(fd, Head(302, "Location: " + elsewhere_.url("/package.exe") +
                                            "\r\nContent-Length: 0\r\n"));
        return;
    case Fault::ANNOUNCES_TEN_GIGABYTES:
        if (!get) {
            FaultServer::send(fd, Head(200, "Accept-Ranges: bytes\r\nETag: \"v1\"\r\n"
                                            "Content-Length: " +
                                                std::to_string(TEN_GIGABYTES) + "\r\n"));
            return;
        }
        FaultServer::send(fd,
                          Head(200, "Content-Length: " + std::to_string(TEN_GIGABYTES) + "\r\n"));
        Stream(fd, TEN_GIGABYTES);
        return;
    }
}

} // namespace inkwarden::test

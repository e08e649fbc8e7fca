#pragma once

#include "tests/support/FaultServer.h"

#include <string>

namespace inkwarden::test {

// The head of an answer that closes its connection, with extra header lines (each ending in
// CRLF).
std::string Head(int status, const std::string& extra);

// The head of a 206 for first-last of total bytes, announcing them all, with extra header
// lines (each ending in CRLF).
std::string PartialHead(int64_t first, int64_t last, int64_t total,
                        const std::string& extra = std::string());

// A well-behaved answer for content: HEAD with head_lines and the length, a ranged 206, or
// a whole 200 when no range was asked for; each with head_lines.
void AnswerFile(const FaultRequest& request, int fd, const std::string& content,
                const std::string& head_lines);

} // namespace inkwarden::test

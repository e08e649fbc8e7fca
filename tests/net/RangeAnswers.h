#pragma once

#include "tests/support/FaultServer.h"

#include <string>

namespace inkwarden::test {

// The head of an answer that closes its connection, with extra header lines (each ending in
// CRLF).
std::string Head(int status, const std::string& extra);

// A well-behaved answer for content: HEAD with head_lines and the length, a ranged 206, or
// a whole 200 when no range was asked for.
void AnswerFile(const FaultRequest& request, int fd, const std::string& content,
                const std::string& head_lines);

} // namespace inkwarden::test

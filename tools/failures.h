// How vantrelctl ends a command that did not succeed: its exit statuses and the one form of its
// messages on stderr.
#pragma once

#include <string>
#include <string_view>

namespace vantrel::tools {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// A text a message shows, its control characters (an escape sequence in a file name) as \xHH,
// so that it can neither steer the terminal nor start a line of its own.
std::string OneLine(std::string_view text);

// Writes "vantrelctl: <message>" and the hint to --help to stderr; returns kExitUsage.
int UsageError(std::string_view message);

// Writes "vantrelctl: <subject>: <message>" to stderr, the one form of every failure: the
// subject names what failed (a key, a value, a file), the message what went wrong. Returns
// kExitFailed.
int Failure(std::string_view subject, std::string_view message);

}  // namespace vantrel::tools

// Runs a shell command with a time limit, for tests that call into programs that can hang (Wine
// above all): a hang then fails the test quickly and says which command it was, instead of
// holding everything until the test runner's own limit.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace vantrel::test {

struct CommandResult {
  int status = -1;  // the exit status; -1 when the command could not run or was stopped
  std::string output;
};

// The text as one word for /bin/sh, whatever characters it holds.
inline std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// Runs `command` with /bin/sh, collecting what it writes to its standard output. A command still
// running after `seconds` is killed, with whatever it started in its process group, and the
// test gets a failure naming it.
inline CommandResult RunBounded(const std::string& command, int seconds) {
  const std::string limited =
      "timeout -k 5 " + std::to_string(seconds) + " sh -c " + ShellQuote(command);
  CommandResult result;
  FILE* pipe = popen(limited.c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot run: " << command;
    return result;
  }
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  const int raw = pclose(pipe);
  const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  // timeout says 124 when it stopped the command, 137 when that took a KILL.
  if (status == 124 || status == 137) {
    ADD_FAILURE() << "did not finish within " << seconds << " s: " << command;
    return result;
  }
  result.status = status;
  return result;
}

}  // namespace vantrel::test

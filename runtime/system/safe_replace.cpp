#include "runtime/system/safe_replace.h"

#include <chrono>
#include <random>

#include "runtime/errors/error_codes.h"
#include "runtime/errors/error_state.h"

namespace vantrel {
namespace safe_replace_detail {

ReplaceReport& Report() {
  thread_local ReplaceReport report;
  return report;
}

bool Fail(int osError, std::int32_t code, std::string problem) {
  ReplaceReport& r = Report();
  r.replaced = false;
  r.osError = osError;
  r.problem = std::move(problem);
  SetRuntimeError(code);
  return false;
}

std::string TemporaryPrefix(std::string_view base) {
  // A file name may have 255 bytes: the mark and the six characters must fit after the name.
  constexpr std::size_t kKept = 240;
  return std::string(base.substr(0, kKept)) + std::string(kTemporaryMark);
}

std::string RandomSuffix() {
  static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  // The clock is mixed in because a random device is not random on every C++ library; the names
  // are created exclusively anyway, so a guessed one only costs another try.
  thread_local std::mt19937_64 random(
      std::random_device{}() ^
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::string out(6, 'A');
  for (char& c : out) c = kChars[random() % (sizeof kChars - 1)];
  return out;
}

bool IsTemporaryOf(std::string_view entry, std::string_view base) {
  if (entry == std::string(base) + ".vtmp") return true;
  const std::string prefix = TemporaryPrefix(base);
  if (entry.size() != prefix.size() + 6 || entry.substr(0, prefix.size()) != prefix) return false;
  for (char c : entry.substr(prefix.size())) {
    const bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!alnum) return false;
  }
  return true;
}

bool UnusableName(std::string_view name) {
  return name.empty() || name.find('\0') != std::string_view::npos;
}

}  // namespace safe_replace_detail

const ReplaceReport& LastReplace() { return safe_replace_detail::Report(); }

bool ReplaceWholeFile(std::string_view name, std::string_view bytes,
                      const ReplaceOptions& options) {
  SafeReplace replace;
  return replace.Begin(name, options) && replace.Append(bytes.data(), bytes.size()) &&
         replace.Commit();
}

}  // namespace vantrel

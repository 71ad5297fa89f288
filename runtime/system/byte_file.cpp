#include "runtime/system/byte_file.h"

#include <algorithm>
#include <cstring>

#include "runtime/errors/error_codes.h"
#include "runtime/errors/error_state.h"
#include "runtime/text/text_case.h"

namespace vantrel {
namespace {

constexpr std::size_t kFileBufferUnit = 512;
// Past this the read-ahead stops growing: more buys nothing for sequential reads.
constexpr std::size_t kMaxReadAhead = 4u << 20;

std::string_view Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// The runtime trims its text arguments; a name holding a zero byte cannot reach the system.
bool UsableName(std::string_view name) {
  return !name.empty() && name.find('\0') == std::string_view::npos;
}

}  // namespace

ByteFile::ByteFile() = default;

ByteFile::~ByteFile() { Close(); }

bool ByteFile::Fail(std::int32_t code) {
  SetRuntimeError(code);
  return false;
}

bool ByteFile::Open(std::string_view name, std::uint32_t mode) {
  ClearRuntimeError();
  Close();
  name = Trim(name);
  if (!UsableName(name)) return Fail(error_code::kInvalidFileName);
  std::intptr_t handle = kNoHandle;
  std::string path(name);
  if (std::int32_t code = byte_file_os::Open(path, mode, &handle)) return Fail(code);
  handle_ = handle;
  name_ = std::move(path);
  readPos_ = readEnd_ = 0;
  atEnd_ = false;
  return true;
}

bool ByteFile::Create(std::string_view name) {
  ClearRuntimeError();
  name = Trim(name);
  if (!UsableName(name)) {
    SetRuntimeError(error_code::kInvalidFileName);
    return false;
  }
  if (std::int32_t code = byte_file_os::Create(std::string(name))) {
    SetRuntimeError(code);
    return false;
  }
  return true;
}

std::string ByteFile::LinkTarget(std::string_view name) {
  return byte_file_os::LinkTarget(std::string(Trim(name)));
}

bool ByteFile::Rename(std::string_view from, std::string_view to) {
  ClearRuntimeError();
  from = Trim(from);
  to = Trim(to);
  if (!UsableName(from) || !UsableName(to)) {
    SetRuntimeError(error_code::kInvalidFileName);
    return false;
  }
  if (std::int32_t code = byte_file_os::Rename(std::string(from), std::string(to))) {
    SetRuntimeError(code);
    return false;
  }
  return true;
}

bool ByteFile::Remove(std::string_view name) {
  ClearRuntimeError();
  name = Trim(name);
  if (!UsableName(name)) {
    SetRuntimeError(error_code::kInvalidFileName);
    return false;
  }
  if (std::int32_t code = byte_file_os::Remove(std::string(name))) {
    SetRuntimeError(code);
    return false;
  }
  return true;
}

bool ByteFile::SendOption(std::string_view option) {
  ClearRuntimeError();
  option = Trim(option);
  const std::size_t eq = option.find('=');
  if (eq != std::string_view::npos && EqualsIgnoreCase(Trim(option.substr(0, eq)), "FILEBUFFERS")) {
    std::string_view digits = Trim(option.substr(eq + 1));
    std::size_t count = 0;
    bool ok = !digits.empty();
    for (char c : digits) {
      if (c < '0' || c > '9') {
        ok = false;
        break;
      }
      count = std::min<std::size_t>(count * 10 + static_cast<std::size_t>(c - '0'), kMaxReadAhead);
    }
    if (ok) {
      const std::size_t wanted = std::clamp(count * kFileBufferUnit, kByteFileBlock, kMaxReadAhead);
      // The read-ahead only changes between blocks, never under data not yet handed out.
      if (readPos_ == readEnd_) {
        readAheadSize_ = wanted;
        readAhead_.reset();
      }
      return true;
    }
  }
  return Fail(error_code::kUnsupportedFileFunction);
}

std::int64_t ByteFile::Read(char* out, std::size_t max) {
  ClearRuntimeError();
  if (!IsOpen()) {
    Fail(error_code::kFileNotOpen);
    return -1;
  }
  max = std::min(max, kByteFileBlock);
  if (max == 0) return 0;
  if (readPos_ == readEnd_) {
    if (atEnd_) return 0;
    if (!readAhead_) readAhead_ = std::make_unique<char[]>(readAheadSize_);
    readPos_ = readEnd_ = 0;
    std::size_t got = 0;
    if (std::int32_t code = byte_file_os::Read(handle_, readAhead_.get(), readAheadSize_, &got)) {
      Fail(code);
      return -1;
    }
    if (got == 0) {
      atEnd_ = true;
      return 0;
    }
    readEnd_ = got;
  }
  const std::size_t n = std::min(max, readEnd_ - readPos_);
  std::memcpy(out, readAhead_.get() + readPos_, n);
  readPos_ += n;
  return static_cast<std::int64_t>(n);
}

bool ByteFile::Append(const void* data, std::size_t size) {
  ClearRuntimeError();
  if (!IsOpen()) return Fail(error_code::kFileNotOpen);
  if (size == 0) return true;
  if (std::int32_t code = byte_file_os::Write(handle_, static_cast<const char*>(data), size)) {
    return Fail(code);
  }
  return true;
}

bool ByteFile::Sync() {
  ClearRuntimeError();
  if (!IsOpen()) return Fail(error_code::kFileNotOpen);
  if (std::int32_t code = byte_file_os::Sync(handle_)) return Fail(code);
  return true;
}

std::int64_t ByteFile::Size() const { return IsOpen() ? byte_file_os::Size(handle_) : -1; }

bool ByteFile::RegularOrMissing(std::string_view name) {
  return byte_file_os::RegularOrMissing(std::string(Trim(name)));
}

bool ByteFile::IsRegular() const { return IsOpen() && byte_file_os::IsRegular(handle_); }

bool ByteFile::Close() {
  if (!IsOpen()) return true;
  const std::int32_t code = byte_file_os::Close(handle_);
  handle_ = kNoHandle;
  readAhead_.reset();
  readPos_ = readEnd_ = 0;
  atEnd_ = false;
  if (code) return Fail(code);
  return true;
}

bool ByteFile::IsOpen() const { return handle_ != kNoHandle; }

}  // namespace vantrel

// Byte files: the runtime's plain file driver. A file is opened by name with an access mode, read
// front to back in blocks, or created anew and filled by appending byte runs.
//
// Failures leave the runtime error state set (byte_file.cpp maps the operating system's errors):
// 2 file not found, 3 path not found, 4 too many open files, 5 access denied (also a sharing
// conflict), 45 invalid file name, 90 any other file system error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vantrel {

// Access mode: the low nibble says what this opener does, the high nibble what it denies others.
enum ByteFileMode : std::uint32_t {
  kAccessRead = 0x00,
  kAccessWrite = 0x01,
  kAccessReadWrite = 0x02,
  kDenyAll = 0x10,
  kDenyWrite = 0x20,
  kDenyRead = 0x30,
  kDenyNone = 0x40,
};
inline constexpr std::uint32_t kReadWriteDenyWrite = kAccessReadWrite | kDenyWrite;  // 0x22
inline constexpr std::uint32_t kReadWriteDenyNone = kAccessReadWrite | kDenyNone;    // 0x42

// The largest block one sequential read hands back (the driver's record size).
inline constexpr std::size_t kByteFileBlock = 65519;

// The runtime code for an operating-system error number (errno on POSIX, GetLastError on
// Windows), as the file driver reports it.
std::int32_t FileErrorCodeFromOs(int osError);

class ByteFile {
 public:
  ByteFile();
  ~ByteFile();
  ByteFile(const ByteFile&) = delete;
  ByteFile& operator=(const ByteFile&) = delete;

  // Opens an existing file. Returns false and sets the runtime error when it cannot.
  bool Open(std::string_view name, std::uint32_t mode = kReadWriteDenyWrite);
  // Creates the file, replacing an existing one, and leaves it closed (open it to write).
  static bool Create(std::string_view name);

  // Renames a file, replacing an existing target; removes a file. False (runtime error set) when
  // the system refused.
  static bool Rename(std::string_view from, std::string_view to);
  static bool Remove(std::string_view name);
  // Where a chain of symbolic links starting at `name` ends (that file need not exist); the name
  // itself when it is no link or a link cannot be read. A file that replaces another is written
  // there, so that a link to it stays a link. (Windows: the name itself.)
  static std::string LinkTarget(std::string_view name);

  // False when `name` exists and is no regular file (a folder, device, FIFO or socket): readers
  // of documents ask before opening, since opening some devices already does something.
  static bool RegularOrMissing(std::string_view name);

  // Driver options. "FILEBUFFERS=n" sets the read-ahead to n 512-byte buffers; any other text
  // sets error 80 and returns false.
  bool SendOption(std::string_view option);

  // The next block of the file, at most `max` (and at most kByteFileBlock) bytes. Returns the
  // number of bytes read, 0 at the end of the file, -1 on an error (runtime error set).
  std::int64_t Read(char* out, std::size_t max = kByteFileBlock);
  // Appends the bytes at the end of the file. False (runtime error set) when not all were written.
  bool Append(const void* data, std::size_t size);
  // Waits until everything appended is on the disk itself, not only handed to the system, so
  // that a file about to replace another survives a power cut. False (runtime error set) when
  // the system could not.
  bool Sync();
  // The file's size in bytes, -1 when unknown.
  std::int64_t Size() const;
  // Whether the open file is a regular file on a disk (not a folder, device, FIFO or pipe):
  // readers of documents refuse anything else, which could be endless or never answer.
  bool IsRegular() const;
  // Closes the file (appended bytes are handed to the system first). False when that failed.
  bool Close();

  bool IsOpen() const;
  const std::string& Name() const { return name_; }

 private:
  static constexpr std::intptr_t kNoHandle = -1;
  bool Fail(std::int32_t code);

  std::intptr_t handle_ = kNoHandle;
  std::string name_;
  std::size_t readAheadSize_ = kByteFileBlock;
  std::unique_ptr<char[]> readAhead_;
  std::size_t readPos_ = 0;
  std::size_t readEnd_ = 0;
  bool atEnd_ = false;
};

// Platform part (byte_file_posix.cpp / byte_file_win32.cpp). Each returns 0 on success or the
// runtime file error code, after recording the operating system's error as the thread's last
// error, so that the caller's SetRuntimeError keeps both.
namespace byte_file_os {
std::int32_t Open(const std::string& name, std::uint32_t mode, std::intptr_t* handle);
std::int32_t Create(const std::string& name);
// Reads up to size bytes; sets *got (0 at the end).
std::int32_t Read(std::intptr_t handle, char* out, std::size_t size, std::size_t* got);
std::int32_t Write(std::intptr_t handle, const char* data, std::size_t size);
std::int32_t Sync(std::intptr_t handle);
std::int64_t Size(std::intptr_t handle);
bool IsRegular(std::intptr_t handle);
bool RegularOrMissing(const std::string& name);
std::int32_t Close(std::intptr_t handle);
std::int32_t Rename(const std::string& from, const std::string& to);
std::int32_t Remove(const std::string& name);
std::string LinkTarget(const std::string& name);
}  // namespace byte_file_os

}  // namespace vantrel

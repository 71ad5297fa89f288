// Replacing a file safely: the one way the product writes a file that may already exist (the
// settings file and its backup, exports, XML documents and their side files, the registry
// store's files).
//
// The new content goes into a temporary file created exclusively (never through a link) beside
// the file it replaces, under a lock on that folder so that two writers take turns; it is
// flushed to the disk and renamed over the old file only when it is complete. The replaced
// file's mode and owner are kept. A link at the name is written through (the file it leads to is
// replaced, the link stays); a link at a temporary or backup name is never followed. A failure at
// any point leaves the old file and its backup as they were and removes the temporary; the next
// writer of a file removes the temporaries that killed writers left beside it (those no live
// writer holds locked).
//
// Failures set the runtime error state (2, 3, 5, 45, 90 ... as the byte-file driver reports them)
// and LastReplace().problem, a sentence that names the file and the reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vantrel {

struct ReplaceOptions {
  // Copy the file being replaced to NAME.bak, atomically and only once the new content is
  // complete, just before it takes the name. A link at NAME.bak is replaced, not followed.
  bool keepBackup = false;
  // A character device or a FIFO at the name is written in place (an export to /dev/null or to
  // a pipe) instead of being refused; block devices, sockets and folders are always refused.
  bool devicesInPlace = false;
  // False: a symbolic link at the name is refused instead of written through.
  bool followLinks = true;
  // Only create the file: when it exists by the time the new one is complete, that one is kept
  // and this one dropped (a file another writer created first wins).
  bool createOnly = false;
  // When not empty: the FileFingerprint the file the name leads to must still have (a file
  // loaded earlier), else nothing is written. A file that changed or was swapped for another
  // (a link planted to reach another file) since it was read is never written over.
  std::string expectedFingerprint{};
};

// What identifies a file's content as it is now, where the name's links lead: its device, its
// number, its size and the time its content last changed (not its owner or mode); "absent" when
// there is none. Two fingerprints that differ mean another file or other content.
std::string FileFingerprint(std::string_view name);

// What the thread's last replacement did.
struct ReplaceReport {
  std::string target;            // the file written: where the name's links lead
  bool replaced = false;         // the new content took the name
  std::uint64_t otherLinks = 0;  // hard links the replaced file had besides this name: they
                                 // keep the previous content
  std::string problem;           // why it failed, naming the file; empty on success
  int osError = 0;               // errno (POSIX) or GetLastError (Windows) of the failure
};
const ReplaceReport& LastReplace();

class SafeReplace {
 public:
  SafeReplace();
  ~SafeReplace();  // abandons a replacement not committed
  SafeReplace(const SafeReplace&) = delete;
  SafeReplace& operator=(const SafeReplace&) = delete;

  // Starts replacing the file `name` (used exactly as given: no blanks are trimmed). Takes the
  // folder's lock, removes leftover temporaries and creates this writer's temporary.
  bool Begin(std::string_view name, const ReplaceOptions& options = {});
  // Adds bytes to the new content.
  bool Append(const void* data, std::size_t size);
  // Puts the new content in place (after the backup, when asked for) and releases the lock.
  bool Commit();
  // Drops the new content; the file stays as it was.
  void Abandon();
  bool Active() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// The lock the writers of a folder take turns on, held for a whole task that reads a file and
// writes it back (a save: load, write, load again), so that two such tasks run one after the
// other instead of failing on each other's opened file. SafeReplace takes it too; a process
// holding it already goes on at once. Waits at most 10 seconds for another process.
class FolderLock {
 public:
  explicit FolderLock(std::string_view name);  // the folder of the file `name` (after links)
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  bool Held() const { return held_; }

 private:
  std::intptr_t handle_ = -1;
  bool held_ = false;
};

// The whole new content of `name` in one call.
bool ReplaceWholeFile(std::string_view name, std::string_view bytes,
                      const ReplaceOptions& options = {});

// Removes the temporaries that killed writers of `name` left beside it, sparing those a live
// writer holds. Begin does this for its own file; the registry store calls it for each of its
// files.
void RemoveLeftTemporaries(std::string_view name);

// The names temporaries of `name` take: its file name (at most 240 bytes of it) and this suffix,
// then six letters or digits.
inline constexpr std::string_view kTemporaryMark = ".vantrel-";

// Shared by the platform parts (safe_replace_posix.cpp / safe_replace_win32.cpp).
namespace safe_replace_detail {
ReplaceReport& Report();
// Records a failure: the runtime error for the OS error, and the sentence.
bool Fail(int osError, std::int32_t code, std::string problem);
// The prefix of the temporaries of the file named `base` (no folder).
std::string TemporaryPrefix(std::string_view base);
// Six random letters and digits.
std::string RandomSuffix();
// Whether the file name `entry` is a temporary of `base`: the prefix and six letters or digits,
// or the fixed name earlier versions used (base + ".vtmp").
bool IsTemporaryOf(std::string_view entry, std::string_view base);
// A name the system would read as another (empty, or holding a zero byte).
bool UnusableName(std::string_view name);
}  // namespace safe_replace_detail

}  // namespace vantrel

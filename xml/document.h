// The XML library's document: one flat table of node records per thread.
//
// A record is the path of lower-cased element names from the root (level 1) down to the node and
// the node's text. Records are appended in document post-order (children before their element,
// attributes first of all), so a parse never has to revisit one.
//
// Storage. A record's fixed image (DocumentRecord below: 64 name slots and a 10,240-byte value)
// is 18 KiB of mostly empty slots, so the table never holds images. Every distinct path is kept
// once, as a node of a path tree (parent, name); a record is then 8 bytes: its path node and where
// its value lies in an append-only text arena (the value's length is kept in front of it). Names
// and values are read straight from there, and an image is built only when a caller asks for one
// (ReadRecord).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "runtime/text/record_layout.h"

namespace vantrel::xml {

inline constexpr int kMaxLevels = 64;          // name slots of a record
inline constexpr std::size_t kNameSlot = 128;  // bytes of one name slot
inline constexpr std::size_t kNameMax = kNameSlot - 1;
inline constexpr std::size_t kValueSlot = 10240;  // bytes of the value
inline constexpr std::size_t kValueMax = kValueSlot - 1;

// The fixed image of a record (Q:ELEMENT, Q:V1): zero-terminated texts, zero filled.
struct DocumentRecord {
  char ELEMENT[kMaxLevels][kNameSlot];
  char V1[kValueSlot];
  static const RecordLayout kLayout;
};
static_assert(sizeof(DocumentRecord) == 18432);

using PathId = std::uint32_t;
inline constexpr PathId kRootPath = 0;  // the empty path (level 0)

// Copies n bytes: a library call costs more than the copy of a name or a short value, which
// these few moves do without reading past the source.
inline void CopyShort(char* to, const char* from, std::size_t n) {
  if (n >= 8 && n <= 16) {
    std::memcpy(to, from, 8);
    std::memcpy(to + n - 8, from + n - 8, 8);
  } else if (n >= 4 && n < 8) {
    std::memcpy(to, from, 4);
    std::memcpy(to + n - 4, from + n - 4, 4);
  } else if (n > 16) {
    std::memcpy(to, from, n);
  } else {
    for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
  }
}

class Document {
 public:
  Document();
  ~Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  std::int32_t Records() const { return static_cast<std::int32_t>(count_); }

  // Record n (from 1; the caller keeps n in 1..Records()).
  PathId PathOf(std::int32_t n) const { return At(n).path; }
  std::string_view Value(std::int32_t n) const {
    const std::size_t i = static_cast<std::size_t>(n - 1);
    const RecBlock& block = recBlocks_[i >> kRecBlockShift];
    const std::uint32_t at = block.recs[i & (kRecBlock - 1)].value;
    if (at == kEmptyValue) return std::string_view("", 0);
    const char* const text =
        arena_[block.arenaBase + (at >> kArenaShift)].get() + (at & (kArenaBlock - 1));
    std::uint16_t length;
    std::memcpy(&length, text, sizeof(length));
    return std::string_view(text + sizeof(length), length);
  }
  int Depth(std::int32_t n) const { return PathDepth(At(n).path); }
  // The name at a level (from 1) of record n; empty below the record's depth.
  std::string_view Name(std::int32_t n, int level) const { return PathName(At(n).path, level); }

  // Paths. Child() finds or makes the path one level below `parent` (at most kMaxLevels deep)
  // with the given name, which the caller has lower-cased and cut to kNameMax.
  PathId Child(PathId parent, std::string_view name);
  // The same, for a parse that looks up an element's children one after another: `previous` is
  // the child looked up before this one under the same parent (kRootPath for the first). The
  // path that followed `previous` last time is tried first, so a document that repeats the same
  // shape finds each child with one comparison.
  PathId NextChild(PathId parent, std::string_view name, PathId previous) {
    const PathId guess =
        previous == kRootPath ? paths_[parent].firstChildren[0] : paths_[previous].next;
    if (guess != kRootPath && SameShortName(paths_[guess].name, name)) return guess;
    const PathId found = Child(parent, name);
    if (previous != kRootPath) paths_[previous].next = found;
    return found;
  }
  int PathDepth(PathId path) const { return paths_[path].depth; }
  std::string_view PathName(PathId path, int level) const;
  PathId PathParent(PathId path) const { return paths_[path].parent; }
  // The path's ancestor at a level (from 1 up to its depth; the path itself at its depth).
  PathId Ancestor(PathId path, int level) const {
    return ancestors_[paths_[path].ancestors + static_cast<std::uint32_t>(level) - 1];
  }
  // The path made of these names from level 1, when the document has it.
  bool FindPath(const std::vector<std::string>& names, PathId* out) const;

  // Appends a record (value cut to kValueMax). False when memory ran out; nothing is added then.
  bool Append(PathId path, std::string_view value);

  // Copies record n into its fixed image.
  void ReadRecord(std::int32_t n, DocumentRecord* out) const;

  // Empties the table and forgets every path.
  void Clear();

  // Bytes held (records, paths, names, values), for the benchmarks.
  std::size_t MemoryUsed() const;

 private:
  // A record: its path, and where its value lies, counted from the arena block its record block
  // began in (the block's number above kArenaShift bits, the offset in it below); kEmptyValue
  // for an empty value, which takes no arena space.
  struct Rec {
    PathId path;
    std::uint32_t value;
  };
  static constexpr std::uint32_t kEmptyValue = 0xFFFFFFFF;
  // Record and arena blocks (see AllocateBlock).
  struct BlockFree {
    void operator()(void* block) const;
  };
  struct RecBlock {
    std::unique_ptr<Rec[], BlockFree> recs;
    std::size_t arenaBase;  // the arena block current when the first of its records was added
  };

  // Names are short: a byte loop compares them faster than a library call.
  static bool SameShortName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (a[i] != b[i]) return false;
    }
    return true;
  }
  static constexpr std::size_t kFirstChildren = 8;
  struct PathNode {
    PathId parent;
    std::uint32_t depth;
    std::uint32_t ancestors;  // index in ancestors_ of this path's node at level 1
    std::string_view name;
    // The children met first (kRootPath marks a free place): most documents need no map lookup;
    // eight holds a record element's usual fields and attributes.
    PathId firstChildren[kFirstChildren];
    PathId next;  // the sibling a parse looked up after this path the last time (NextChild)
  };
  // Both kinds of block are 2 MiB, the size of a huge page (see AllocateBlock).
  static constexpr std::size_t kRecBlockShift = 18;
  static_assert(kRootPath == 0, "an empty list of first children is all zeros");
  static constexpr std::size_t kRecBlock = std::size_t{1} << kRecBlockShift;
  static constexpr std::size_t kArenaShift = 21;
  static constexpr std::size_t kArenaBlock = std::size_t{1} << kArenaShift;
  // A record block's values lie within kRecBlock * (kValueMax + 2) bytes of arena, well inside
  // the blocks a Rec can count.
  static_assert((kRecBlock * (kValueMax + 2)) >> kArenaShift <
                (std::size_t{1} << (32 - kArenaShift)) - 1);
  static_assert(kRecBlock * sizeof(Rec) == kArenaBlock);

  // A block of kArenaBlock bytes; `huge` asks for it in huge pages where the system has them.
  static void* AllocateBlock(bool huge);

  const Rec& At(std::int32_t n) const {
    const std::size_t i = static_cast<std::size_t>(n - 1);
    return recBlocks_[i >> kRecBlockShift].recs[i & (kRecBlock - 1)];
  }
  // Copies a value (not empty, at most kValueMax bytes) into the arena behind its length, and
  // gives its place as a record of this record block keeps it.
  std::uint32_t StoreText(std::string_view text, std::size_t arenaBase);
  std::string_view StoreName(std::string_view name);

  struct ChildKey {
    PathId parent;
    std::string_view name;
    bool operator==(const ChildKey&) const = default;
  };
  struct ChildKeyHash {
    std::size_t operator()(const ChildKey& k) const {
      return std::hash<std::string_view>()(k.name) * 31 + k.parent;
    }
  };

  std::vector<RecBlock> recBlocks_;
  std::size_t count_ = 0;
  std::vector<PathNode> paths_;
  std::vector<PathId> ancestors_;
  std::unordered_map<ChildKey, PathId, ChildKeyHash> children_;
  std::deque<std::string> names_;
  std::vector<std::unique_ptr<char[], BlockFree>> arena_;
  std::size_t arenaUsed_ = kArenaBlock;  // no block yet
};

}  // namespace vantrel::xml

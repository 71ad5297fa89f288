#include "xml/document.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vantrel::xml {

namespace {
// Names compared by their length and first byte before their bytes: siblings mostly differ there,
// and a parse compares a name with each of its element's known children.
bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         (a.empty() || (a[0] == b[0] && std::memcmp(a.data(), b.data(), a.size()) == 0));
}

constexpr FieldDesc kDocumentFields[] = {
    FieldDesc{"Q:ELEMENT", "", FieldType::String, 0, kMaxLevels* kNameSlot, kMaxLevels, 0},
    FieldDesc{"Q:V1", "", FieldType::String, kMaxLevels* kNameSlot, kValueSlot, 1, 0},
};
}  // namespace

const RecordLayout DocumentRecord::kLayout{kDocumentFields, sizeof(DocumentRecord)};

// A large document fills dozens of blocks, each page of which costs a page fault when first
// written: some ten thousand for 50 MB, a good part of the parse. So every block after the first
// of its kind is asked for in transparent huge pages (2 MiB, one fault each) where the system
// offers them; the first stays in small pages, so that a small document holds only the pages it
// touches.
void* Document::AllocateBlock(bool huge) {
  void* block = nullptr;
#if defined(__linux__)
  constexpr std::size_t kHugePage = std::size_t{2} << 20;
  static_assert(kArenaBlock % kHugePage == 0);
  if (huge) {
    block = std::aligned_alloc(kHugePage, kArenaBlock);
    if (block) madvise(block, kArenaBlock, MADV_HUGEPAGE);  // a hint: refused is fine
  }
#else
  (void)huge;
#endif
  if (!block) block = std::malloc(kArenaBlock);
  if (!block) throw std::bad_alloc();
  return block;
}

void Document::BlockFree::operator()(void* block) const { std::free(block); }

Document::Document() { Clear(); }
Document::~Document() = default;

void Document::Clear() {
  recBlocks_.clear();
  count_ = 0;
  paths_.clear();
  ancestors_.clear();
  children_.clear();
  names_.clear();
  arena_.clear();
  arenaUsed_ = kArenaBlock;
  paths_.push_back(PathNode{kRootPath, 0, 0, {}, {}, kRootPath});
}

std::string_view Document::StoreName(std::string_view name) {
  names_.emplace_back(name);
  return names_.back();
}

std::uint32_t Document::StoreText(std::string_view text, std::size_t arenaBase) {
  const std::uint16_t length = static_cast<std::uint16_t>(text.size());
  const std::size_t size = sizeof(length) + text.size();
  if (kArenaBlock - arenaUsed_ < size) {
    std::unique_ptr<char[], BlockFree> block(static_cast<char*>(AllocateBlock(!arena_.empty())));
    arena_.push_back(std::move(block));
    arenaUsed_ = 0;
  }
  char* const out = arena_.back().get() + arenaUsed_;
  std::memcpy(out, &length, sizeof(length));
  CopyShort(out + sizeof(length), text.data(), text.size());
  const std::uint32_t at =
      static_cast<std::uint32_t>(((arena_.size() - 1 - arenaBase) << kArenaShift) | arenaUsed_);
  arenaUsed_ += size;
  return at;
}

PathId Document::Child(PathId parent, std::string_view name) {
  PathNode& p = paths_[parent];
  for (PathId c : p.firstChildren) {
    if (c == kRootPath) break;
    if (SameName(paths_[c].name, name)) return c;
  }
  if (p.firstChildren[kFirstChildren - 1] != kRootPath) {
    auto it = children_.find(ChildKey{parent, name});
    if (it != children_.end()) return it->second;
  }
  // A new path: the name is stored once, and the path's ancestors are listed so that any level's
  // name is one lookup away.
  const PathId id = static_cast<PathId>(paths_.size());
  const std::uint32_t depth = paths_[parent].depth + 1;
  const std::uint32_t first = static_cast<std::uint32_t>(ancestors_.size());
  const std::uint32_t parentFirst = paths_[parent].ancestors;
  for (std::uint32_t i = 0; i + 1 < depth; ++i) ancestors_.push_back(ancestors_[parentFirst + i]);
  ancestors_.push_back(id);
  const std::string_view stored = StoreName(name);
  paths_.push_back(PathNode{parent, depth, first, stored, {}, kRootPath});
  PathNode& q = paths_[parent];
  bool kept = false;
  for (PathId& c : q.firstChildren) {
    if (c == kRootPath) {
      c = id;
      kept = true;
      break;
    }
  }
  if (!kept) children_.emplace(ChildKey{parent, stored}, id);
  return id;
}

std::string_view Document::PathName(PathId path, int level) const {
  const PathNode& p = paths_[path];
  if (level < 1 || static_cast<std::uint32_t>(level) > p.depth) return {};
  return paths_[ancestors_[p.ancestors + static_cast<std::uint32_t>(level) - 1]].name;
}

bool Document::FindPath(const std::vector<std::string>& names, PathId* out) const {
  PathId at = kRootPath;
  for (const std::string& name : names) {
    const PathNode& p = paths_[at];
    PathId next = kRootPath;
    for (PathId c : p.firstChildren) {
      if (c == kRootPath) break;
      if (paths_[c].name == name) {
        next = c;
        break;
      }
    }
    if (next == kRootPath && p.firstChildren[kFirstChildren - 1] != kRootPath) {
      auto it = children_.find(ChildKey{at, name});
      if (it != children_.end()) next = it->second;
    }
    if (next == kRootPath) return false;
    at = next;
  }
  *out = at;
  return true;
}

bool Document::Append(PathId path, std::string_view value) {
  if (value.size() > kValueMax) value = value.substr(0, kValueMax);
  try {
    if ((count_ & (kRecBlock - 1)) == 0 && (count_ >> kRecBlockShift) == recBlocks_.size()) {
      // The block's values count from the arena block now being filled (or the first one).
      std::unique_ptr<Rec[], BlockFree> recs(static_cast<Rec*>(AllocateBlock(!recBlocks_.empty())));
      recBlocks_.push_back(RecBlock{std::move(recs), arena_.empty() ? 0 : arena_.size() - 1});
    }
    RecBlock& block = recBlocks_[count_ >> kRecBlockShift];
    const std::uint32_t at = value.empty() ? kEmptyValue : StoreText(value, block.arenaBase);
    block.recs[count_ & (kRecBlock - 1)] = Rec{path, at};
    ++count_;
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void Document::ReadRecord(std::int32_t n, DocumentRecord* out) const {
  std::memset(out, 0, sizeof(*out));
  const Rec& r = At(n);
  const int depth = PathDepth(r.path);
  for (int level = 1; level <= depth; ++level) {
    const std::string_view name = PathName(r.path, level);
    std::memcpy(out->ELEMENT[level - 1], name.data(), std::min(name.size(), kNameMax));
  }
  const std::string_view value = Value(n);
  std::memcpy(out->V1, value.data(), value.size());
}

std::size_t Document::MemoryUsed() const {
  std::size_t names = 0;
  for (const std::string& s : names_) names += s.capacity() + sizeof(std::string);
  return recBlocks_.size() * kRecBlock * sizeof(Rec) + paths_.capacity() * sizeof(PathNode) +
         ancestors_.capacity() * sizeof(PathId) + children_.size() * 48 + names +
         arena_.size() * kArenaBlock;
}

}  // namespace vantrel::xml

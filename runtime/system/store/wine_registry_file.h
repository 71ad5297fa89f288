// One registry file in Wine's text format ("WINE REGISTRY Version 2"): system.reg, user.reg or
// userdef.reg of a prefix. Holds the file's text and an index of its keys; values are decoded
// only for the keys someone asks about, and a write re-creates only the keys it changed, so
// every other byte of the file survives as it was.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::store {

// Names of keys and values compare without regard to case, the way Wine orders them in its
// files: unit by unit after lowering, a shorter name before a longer one it begins.
char16_t LowerNameUnit(char16_t unit);
int CompareNames(std::u16string_view a, std::u16string_view b);
bool SameName(std::u16string_view a, std::u16string_view b);

// Wine's string escapes (\\ \" \n \t \xHHHH, octal ...). ParseEscaped reads from `pos` (just
// after an opening quote or bracket) up to the unescaped `endChar`, leaves `pos` after it and
// appends the decoded units; false when the line ends first. AppendEscaped writes `text` the
// way Wine writes it, escaping backslashes and the two characters in `specials`, and returns
// the number of characters written. Unlike Wine it writes a final zero unit too: a name "a\0"
// must not come back as "a", the name of another value or key.
bool ParseEscaped(std::string_view line, size_t& pos, char endChar, std::u16string& out);
size_t AppendEscaped(std::string& out, std::u16string_view text, const char specials[2]);

struct RegValue {
  std::u16string name;  // empty: the key's default value
  uint32_t type = 0;
  std::string data;  // raw bytes; strings as UTF-16LE
  // The value's lines in the file, as offsets from the start of its key's text, while the value
  // is as it was read: a key with one changed value among many copies the others' lines instead
  // of writing each anew. A value without them (srcEnd == 0) is written from the fields above,
  // so whoever changes a value in place must clear srcEnd (KeyContent::Set does).
  size_t srcBegin = 0, srcEnd = 0;
};

// Appends one value line (with Wine's hex wrapping) to `out`.
void AppendValueLine(std::string& out, const RegValue& value);

// The decoded form of one key's lines.
struct KeyContent {
  bool hasTime = false;
  uint64_t time = 0;  // FILETIME ticks
  bool hasClass = false;
  std::u16string keyClass;
  bool link = false;
  std::vector<std::string> keptLines;  // other option lines and comments inside the key
  std::vector<RegValue> values;
  std::string tail;     // blank lines and comments that close the key's text
  long badOffset = -1;  // offset of the first line that could not be read
  std::string badReason;

  // The value of that name, found through an index ordered by name (a key may hold hundreds of
  // thousands of values); null when missing.
  RegValue* Find(std::u16string_view name);
  // Adds the value, or replaces the type and data of the one of the same name. A new value goes
  // where Wine sorts it: before the first value whose name sorts after it.
  RegValue& Set(RegValue value);
  // Removes the value of that name; false when there is none.
  bool Erase(std::u16string_view name);
  // Rebuilds the index after `values` was changed directly. Of values listed twice the first
  // keeps its place and name and takes the type and data of the last, as Wine reads them.
  void Reindex();

 private:
  size_t Lower(std::u16string_view name) const;  // the first index entry not before `name`
  std::vector<uint32_t> index_;                  // positions in `values`, ordered by name
  bool indexed_ = false;
};

// Windows' limits on names: 16,383 characters for a value name; key name components are
// refused by Wine's server above 256 characters (Windows documents 255).
constexpr size_t kMaxValueNameLength = 16383;
constexpr size_t kMaxKeyNameLength = 256;

// Objects with fixed addresses, allocated a thousand at a time.
template <typename T>
class Pool {
 public:
  T& Add() {
    if (used_ == kChunk || chunks_.empty()) {
      chunks_.push_back(std::make_unique<T[]>(kChunk));
      used_ = 0;
    }
    return chunks_.back()[used_++];
  }
  void Clear() {
    chunks_.clear();
    used_ = 0;
  }
  T& Front() { return chunks_.front()[0]; }

 private:
  static constexpr size_t kChunk = 1024;
  std::vector<std::unique_ptr<T[]>> chunks_;
  size_t used_ = 0;
};

class RegistryFile {
 public:
  struct Node;
  struct Block {
    size_t begin = 0, end = 0;  // the key's text in text_ (while not dirty)
    Node* node = nullptr;
    std::unique_ptr<KeyContent> content;  // decoded on demand
    bool dirty = false;                   // write from `content`, not from the text
    bool removed = false;
  };
  struct Node {
    std::u16string_view name;  // held by the file's name arena
    Node* parent = nullptr;
    std::vector<Node*> children;
    bool sorted = true;
    bool removed = false;
    // Kept in memory only, never written to the file (a key created with REG_OPTION_VOLATILE);
    // every key below it is volatile too.
    bool isVolatile = false;
    Block* block = nullptr;
  };

  // Reads `text`. False when it is no registry file at all (wrong first line); the reason is in
  // Problem(). Only the key lines are read here; lines that cannot be read do not stop the
  // reading (Wine skips them too) but make Validate() fail.
  bool Load(std::string text);
  const std::string& Text() const { return text_; }
  const std::string& Problem() const { return problem_; }
  size_t ProblemLine() const { return problemLine_; }

  // The relative path in the header (";; All keys relative to REGISTRY\\User\\S-1-...").
  std::u16string HeaderRoot() const;

  // True when every line of the file can be read (checked on the first call after loading);
  // only such a file may be written back.
  bool Validate();

  Node* Root() { return &nodes_.Front(); }
  // Changes whenever a node found earlier may have gone (the file was read again, a key was
  // removed), so callers may keep nodes between calls while it stays the same.
  uint64_t Generation() const { return generation_; }
  // The node for a path of components relative to the file's root; null when missing.
  Node* Find(const std::vector<std::u16string>& path);
  // The same for a path whose components are joined by backslashes.
  Node* FindJoined(std::u16string_view joined);
  // The child of that name, or null.
  Node* FindChild(Node* parent, std::u16string_view name) { return ChildByName(parent, name); }
  // Sorted children of a node.
  const std::vector<Node*>& Children(Node* node);
  // The decoded values of a node (an empty set for keys that have no lines of their own).
  KeyContent* Content(Node* node);

  // Changes. Each marks what must be re-created on the next Serialize().
  Node* CreatePath(const std::vector<std::u16string>& path, uint64_t now, bool& created);
  // Makes the node's own lines writable (creating them for a key that had none) and stamps it.
  KeyContent* Modify(Node* node, uint64_t now);
  // Removes a node and everything below it. The parent keeps existing.
  void RemoveTree(Node* node, uint64_t now);

  // The whole file with every change applied; afterwards the file's text is that output.
  std::string Serialize();

 private:
  Node* NewNode(Node* parent, std::u16string_view name);
  std::u16string_view Intern(std::u16string_view name);
  // The existing child of that name, or a new one.
  Node* Child(Node* parent, std::u16string_view name);
  Node* ChildByName(Node* parent, std::u16string_view name);
  Block* NewBlock(Node* node, uint64_t now);
  void InsertInOrder(Block* block);
  void Fail(size_t offset, const std::string& reason);
  void DecodeBlock(const Block& block, KeyContent& content) const;
  static int ComparePaths(const Node* a, const Node* b);

  std::string text_;
  size_t headerEnd_ = 0;
  Pool<Node> nodes_;
  // Key names live in large chunks: a file has thousands of them, and reading a changed file
  // again should not spend its time allocating and freeing each one.
  std::vector<std::unique_ptr<char16_t[]>> nameChunks_;
  size_t chunkUsed_ = 0, chunkSize_ = 0;
  Pool<Block> blocks_;
  std::vector<Block*> order_;
  std::string problem_;
  size_t problemLine_ = 0;
  uint64_t generation_ = 0;
  bool validated_ = false;
};

// The current time as FILETIME ticks (100 ns since 1601).
uint64_t FileTimeNow();

}  // namespace vantrel::store

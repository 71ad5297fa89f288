// Finding nodes and the record moves.
#include <algorithm>

#include "runtime/errors/error_codes.h"
#include "runtime/errors/error_state.h"
#include "xml/state.h"

namespace vantrel::xml {
namespace {

constexpr std::size_t kSearchNameMax = 50;

bool SameName(std::string_view recordName, const std::string& searchName) {
  return recordName.substr(0, std::min(recordName.size(), kSearchNameMax)) == searchName;
}

}  // namespace

std::string MatchName(std::string_view fieldName, bool keepPrefix) {
  std::string name = Lower(TrimBlanks(fieldName));
  if (!keepPrefix) {
    const std::size_t colon = name.find(':');
    if (colon != std::string::npos) name.erase(0, colon + 1);
  }
  return name;
}

std::int16_t FindNode(std::string_view name1, std::string_view name2, std::string_view name3,
                      std::string_view name4, std::string_view name5, bool exact) {
  LibraryState& lib = Lib();
  const Document& doc = lib.document;
  std::string names[5];
  const std::string_view given[5] = {name1, name2, name3, name4, name5};
  for (int k = 0; k < 5; ++k) {
    const std::string_view t = TrimBlanks(given[k]);
    names[k] = Lower(t.substr(0, std::min(t.size(), kSearchNameMax)));
  }
  lib.lastError = kErrorNodeNotFound;
  if (names[0].empty()) return kErrorNodeNotFound;
  int further = 0;
  while (further < 4 && !names[further + 1].empty()) ++further;

  const std::int32_t start = lib.currentRecord == 0 ? 1 : lib.currentRecord;
  const int parentDepth = static_cast<int>(lib.parentPath.size());
  PathId parentId = kRootPath;
  const bool parentKnown = parentDepth == 0 || doc.FindPath(lib.parentPath, &parentId);
  const int deepest = std::min(lib.deepestLevel, kMaxLevels);
  const std::int32_t count = doc.Records();
  for (std::int32_t r = start; r <= count; ++r) {
    const PathId p = doc.PathOf(r);
    const int depth = doc.PathDepth(p);
    if (parentDepth > 0) {
      // The search never leaves the current parent's subtree, and stops at its own record.
      if (!parentKnown || depth <= parentDepth || doc.Ancestor(p, parentDepth) != parentId) break;
    }
    const int top = std::min(depth, deepest);
    for (int c = 1; c <= top; ++c) {
      if (!SameName(doc.PathName(p, c), names[0])) continue;
      bool all = c + further <= depth;
      for (int k = 1; all && k <= further; ++k) all = SameName(doc.PathName(p, c + k), names[k]);
      if (!all) continue;
      // A repeated call with the same names moves on rather than finding the same place.
      if (r == start && parentDepth > 0 && c + further == parentDepth) continue;
      if (exact && !doc.PathName(p, c + further + 1).empty()) continue;
      lib.currentRecord = r;
      lib.parentPath.clear();
      for (int l = 1; l <= c + further; ++l) lib.parentPath.emplace_back(doc.PathName(p, l));
      lib.lastError = 0;
      return 0;
    }
  }
  return kErrorNodeNotFound;
}

// Moves. A node's subtree is the run of records just before its own record (post-order).
std::int16_t GotoChild() {
  LibraryState& lib = Lib();
  const Document& doc = lib.document;
  if (lib.currentRecord < 1 || lib.currentRecord > doc.Records()) {
    return lib.lastError = kErrorNotOnRecord;
  }
  const PathId node = doc.PathOf(lib.currentRecord);
  const int depth = doc.PathDepth(node);
  std::int32_t child = 0;
  for (std::int32_t r = lib.currentRecord - 1; r >= 1; --r) {
    const PathId p = doc.PathOf(r);
    const int d = doc.PathDepth(p);
    if (d <= depth || doc.Ancestor(p, depth) != node) break;
    if (d == depth + 1) child = r;
  }
  if (child == 0) return lib.lastError = kErrorChildNotFound;
  lib.currentRecord = child;
  return lib.lastError = 0;
}

std::int16_t GotoParent() {
  LibraryState& lib = Lib();
  const Document& doc = lib.document;
  if (lib.currentRecord < 1 || lib.currentRecord > doc.Records()) {
    return lib.lastError = kErrorNotOnRecord;
  }
  const PathId node = doc.PathOf(lib.currentRecord);
  const int depth = doc.PathDepth(node);
  if (depth > 1) {
    const PathId parent = doc.PathParent(node);
    for (std::int32_t r = lib.currentRecord + 1; r <= doc.Records(); ++r) {
      const PathId p = doc.PathOf(r);
      const int d = doc.PathDepth(p);
      if (d < depth - 1 || doc.Ancestor(p, depth - 1) != parent) break;
      if (p == parent) {
        lib.currentRecord = r;
        return lib.lastError = 0;
      }
    }
  }
  return lib.lastError = kErrorParentNotFound;
}

std::int16_t GotoNextSibling() {
  LibraryState& lib = Lib();
  const Document& doc = lib.document;
  if (lib.currentRecord < 1 || lib.currentRecord > doc.Records()) {
    return lib.lastError = kErrorNotOnRecord;
  }
  const PathId node = doc.PathOf(lib.currentRecord);
  const int depth = doc.PathDepth(node);
  const PathId parent = doc.PathParent(node);
  for (std::int32_t r = lib.currentRecord + 1; r <= doc.Records(); ++r) {
    const PathId p = doc.PathOf(r);
    const int d = doc.PathDepth(p);
    if (d < depth || (depth > 1 && doc.Ancestor(p, depth - 1) != parent)) break;
    if (d == depth) {
      lib.currentRecord = r;
      return lib.lastError = 0;
    }
  }
  return lib.lastError = kErrorSiblingNotFound;
}

void AddFieldSetting(std::string_view fieldName, bool required, std::string_view picture,
                     bool forceWrite) {
  Lib().fieldSettings.push_back(FieldSetting{MatchName(fieldName, false), required,
                                             std::string(TrimBlanks(picture)), forceWrite});
}

void ClearFieldSettings() { Lib().fieldSettings.clear(); }

bool AddNameTranslation(std::string_view fieldName, std::string_view path) {
  constexpr std::size_t kMaxNames = 4;  // the node's own name and three ancestors
  NameTranslation t;
  t.field = std::string(TrimBlanks(fieldName));
  if (t.field.empty()) return false;
  std::size_t start = 0;
  while (true) {
    const std::size_t slash = path.find('/', start);
    const std::string_view name = TrimBlanks(path.substr(start, slash - start));
    if (name.empty() || name.size() > kNameMax || t.names.size() == kMaxNames) return false;
    t.names.emplace_back(name);
    t.lower.push_back(Lower(name));
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  Lib().translations.push_back(std::move(t));
  return true;
}

void ClearNameTranslations() { Lib().translations.clear(); }

const NameTranslation* TranslationFor(const Document& doc, PathId path) {
  const int depth = doc.PathDepth(path);
  for (const NameTranslation& t : Lib().translations) {
    const int k = static_cast<int>(t.lower.size());
    if (k > depth) continue;
    bool fits = true;
    for (int j = 0; fits && j < k; ++j) {
      fits = doc.PathName(path, depth - j) == t.lower[static_cast<std::size_t>(k - 1 - j)];
    }
    if (fits) return &t;
  }
  return nullptr;
}

void SaveState() {
  LibraryState& lib = Lib();
  lib.savedState = SavedState{true, lib.currentRecord, lib.parentPath};
}

bool RepositionOnSavedState(LibraryState& lib) {
  const SavedState& s = lib.savedState;
  const Document& doc = lib.document;
  bool there = s.record >= 0 && s.record <= doc.Records();
  if (there && s.record > 0) {
    // The record must still lie inside the saved parent: a document loaded since may hold
    // other records at the same numbers.
    const int k = static_cast<int>(s.parentPath.size());
    there = doc.Depth(s.record) >= k;
    for (int l = 1; there && l <= k; ++l) {
      there = doc.Name(s.record, l) == s.parentPath[static_cast<std::size_t>(l - 1)];
    }
  }
  if (!there) {
    lib.savedState = SavedState{};
    SetRuntimeError(error_code::kRecordNotFound);
    return false;
  }
  lib.currentRecord = s.record;
  lib.parentPath = s.parentPath;
  return true;
}

std::int16_t RestoreState() {
  LibraryState& lib = Lib();
  if (!lib.savedState.saved) return lib.lastError = kErrorStateNeverSaved;
  if (!RepositionOnSavedState(lib)) return lib.lastError = kErrorNotOnRecord;
  lib.savedState = SavedState{};
  return lib.lastError = 0;
}

}  // namespace vantrel::xml

// Registry primitives of the platform seam, kept in Wine's registry files.
//
// Every call looks at the file's identity (device, inode, size, modification time) and re-reads
// it only when another process changed it; an unchanged file is never parsed twice. Every
// change takes an exclusive lock on the file, re-reads it if needed, writes the whole file to a
// temporary file in the same folder, flushes it and renames it over the old one, so readers see
// either the old or the new file and two writers never lose each other's values.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "runtime/text/cp1250.h"
#include "runtime/system/store/registry_store.h"
#include "runtime/system/store/smb_conf_registry_posix.h"
#include "runtime/system/store/store_files_posix.h"
#include "runtime/system/store/wine_registry_file.h"
#include "runtime/text/text_case.h"
#include "runtime/seam/win32_seam.h"

namespace vantrel::seam {
namespace {

using store::KeyContent;
using store::RegistryFile;
using store::RegValue;

constexpr LONG ERROR_BAD_PATHNAME = 161;
constexpr LONG ERROR_NOACCESS = 998;
constexpr DWORD kMaximumAllowed = 0x02000000;
constexpr DWORD kGenericRead = 0x80000000u, kGenericWrite = 0x40000000, kGenericAll = 0x10000000;

enum HiveId { kSystem = 0, kUser = 1, kUserDefault = 2, kUsersRoot = 3 };
constexpr const char* kFileNames[3] = {"system.reg", "user.reg", "userdef.reg"};
constexpr const char16_t* kDefaultUserSid = u"S-1-5-21-0-0-0-1000";

struct Hive {
  std::string path;
  RegistryFile file;
  store::FileIdentity identity;
  bool loaded = false;
  bool unreadable = false;  // not a registry file
  // The file as last read, kept open: one fstat then tells whether it is still the current
  // file (a write elsewhere renames a new file over it, leaving this one without a name).
  int fd = -1;
  // The last path looked up and its node, while the file's generation stays the same: programs
  // open the same few keys again and again.
  std::u16string lastPath;
  uint64_t lastGeneration = 0;
  RegistryFile::Node* lastNode = nullptr;
  // The last read failure the user was told about; empty once the file reads again.
  std::string reported;
};

struct Store {
  std::string dir;
  Hive hives[3];
};

// A key path relative to its file, components joined by backslashes: one allocation, where a
// list of components would need one per component (opening keys should be cheap).
struct KeyPath {
  std::u16string text;
  size_t count = 0;
  size_t size() const { return count; }
  void Push(std::u16string_view component) {
    if (count++) text += u'\\';
    text += component;
  }
  std::u16string_view Front() const {
    return std::u16string_view(text).substr(0, text.find(u'\\'));
  }
  void PopFront() {
    size_t at = text.find(u'\\');
    text.erase(0, at == std::u16string::npos ? text.size() : at + 1);
    --count;
  }
  std::vector<std::u16string> Components() const {
    std::vector<std::u16string> out;
    size_t i = 0;
    while (count && i <= text.size()) {
      size_t j = text.find(u'\\', i);
      if (j == std::u16string::npos) j = text.size();
      out.emplace_back(text, i, j - i);
      i = j + 1;
    }
    return out;
  }
};

struct Handle {
  std::string dir;
  int hive = kSystem;
  KeyPath path;
  size_t fixed = 0;  // leading components that belong to the predefined root and always exist
  DWORD access = 0;
  // The key was deleted while this handle was open. It stays so, as on Windows: a key created
  // later under the same name is another key, which this handle must not read or write.
  bool deleted = false;
  // The key's node as last found, valid while the file's generation stays the same.
  const RegistryFile* file = nullptr;
  uint64_t generation = 0;
  RegistryFile::Node* node = nullptr;
};

std::recursive_mutex gMutex;
std::map<std::string, std::unique_ptr<Store>> gStores;
// Open handles live in reused slots (handle value 0x1000 + 4 * slot, as small and reused as
// Windows' own), so opening and closing keys does not allocate once the program runs.
struct Slot {
  Handle handle;
  bool used = false;
};
std::vector<Slot> gSlots;
std::vector<size_t> gFreeSlots;

Handle* FindHandle(uintptr_t value) {
  if (value < 0x1000 || (value & 3) != 0) return nullptr;
  size_t slot = (value - 0x1000) / 4;
  return slot < gSlots.size() && gSlots[slot].used ? &gSlots[slot].handle : nullptr;
}

Store& StoreAt(const std::string& dir) {
  static Store* last = nullptr;
  if (last && last->dir == dir) return *last;
  auto& slot = gStores[dir];
  if (!slot) {
    slot = std::make_unique<Store>();
    slot->dir = dir;
    for (int i = 0; i < 3; ++i) slot->hives[i].path = dir + "/" + kFileNames[i];
  }
  last = slot.get();
  return *slot;
}

std::string Narrow(std::u16string_view s) { return Utf16ToCp1250(s); }

// A read of the hive failed: says so naming the file, telling the user only when the words
// differ from the last failure of this hive.
LONG ReadFailed(Hive& h, LONG code, const std::string& message) {
  store::ReportProblem(message, message != h.reported);
  h.reported = message;
  return code;
}

LONG ReadFailed(Hive& h, int err) {
  return ReadFailed(h, store::ErrnoToWin32(err),
                    "cannot read " + h.path + ": " + store::ErrorText(err));
}

// One byte of a name given through the "A" interface; key and value names are mostly ASCII, which
// needs no table.
inline char16_t Widen(unsigned char c) {
  return c < 0x80 ? static_cast<char16_t>(c) : Cp1250ToUnicode(c);
}

// Brings a hive up to date with its file for reading. ERROR_SUCCESS also when the file does not
// exist yet (an empty registry).
LONG Refresh(Hive& h) {
  // A file with a line Wine would skip (a key line without its bracket, a value line cut off)
  // is read as nothing at all rather than as a registry without that key or value: what it
  // holds there is not known, and N/A would be a guess. Writes refuse such a file as well.
  auto loaded = [&h]() -> LONG {
    if (!h.unreadable && h.file.Validate()) {
      h.reported.clear();
      return ERROR_SUCCESS;
    }
    return ReadFailed(h, ERROR_BADDB,
                      h.path + ":" + std::to_string(h.file.ProblemLine()) + ": " +
                          h.file.Problem() +
                          "; the file was left as it was (repair or restore it)");
  };
  store::FileIdentity now;
  bool gone = false;
  if (h.loaded && h.fd >= 0) {
    if (store::FstatIdentity(h.fd, now, gone) == 0 && !gone && now == h.identity) return loaded();
    close(h.fd);
    h.fd = -1;
  }
  int fd = -1;
  if (int err = store::OpenRegularFile(h.path, O_RDONLY, fd)) {
    if (err != ENOENT) return ReadFailed(h, err);
    if (!h.loaded || h.identity.exists) {
      h.file.Load(store::EmptyHiveText(h.path));
      h.identity = store::FileIdentity{};
      h.loaded = true;
      h.unreadable = false;
    }
    return loaded();
  }
  if (int err = store::FstatIdentity(fd, now, gone)) {
    close(fd);
    return ReadFailed(h, err);
  }
  if (h.loaded && h.identity == now) {  // our own last write
    h.fd = fd;
    return loaded();
  }
  std::string text;
  if (int err = store::ReadOpenFile(fd, text, now.size)) {
    close(fd);
    return ReadFailed(h, err);
  }
  h.fd = fd;
  h.unreadable = !h.file.Load(std::move(text));
  h.identity = now;
  h.loaded = true;
  return loaded();
}

std::u16string UserSid(Store& s) {
  Hive& h = s.hives[kUser];
  if (Refresh(h) == ERROR_SUCCESS) {
    std::u16string root = h.file.HeaderRoot();
    constexpr std::u16string_view kPrefix = u"REGISTRY\\User\\";
    if (root.size() > kPrefix.size() && store::SameName(root.substr(0, kPrefix.size()), kPrefix))
      return root.substr(kPrefix.size());
  }
  return kDefaultUserSid;
}

DWORD MapAccess(DWORD access) {
  if (access & kGenericRead) access |= KEY_READ;
  if (access & kGenericWrite) access |= KEY_WRITE;
  if (access & kGenericAll) access |= KEY_ALL_ACCESS;
  if (access & kMaximumAllowed) access |= KEY_ALL_ACCESS;
  return access & ~(kGenericRead | kGenericWrite | kGenericAll | kMaximumAllowed | 0x300u);
}

// The handle's key: a predefined root or an open handle.
LONG Lookup(HKEY key, Handle& out) {
  store::ClearProblem();
  auto value = reinterpret_cast<uintptr_t>(key);
  for (uint32_t root = 0x80000000u; root <= 0x80000005u; ++root) {
    // Windows takes a predefined key by its low 32 bits: zero-extended it is the same key.
    if (value != reinterpret_cast<uintptr_t>(PredefinedKey(root)) && value != root) continue;
    out.dir.assign(store::StoreFolderRef());
    out.path.text.clear();
    out.path.count = 0;
    out.fixed = 0;
    out.hive = kSystem;
    out.file = nullptr;
    out.node = nullptr;
    out.generation = 0;
    out.deleted = false;
    out.access = KEY_ALL_ACCESS;
    switch (root) {
      case 0x80000000u:
        out.hive = kSystem;
        out.path.Push(u"Software");
        out.path.Push(u"Classes");
        break;
      case 0x80000001u: out.hive = kUser; break;
      case 0x80000002u: out.hive = kSystem; break;
      case 0x80000003u: out.hive = kUsersRoot; break;
      case 0x80000005u:
        out.hive = kSystem;
        for (auto c : {u"System", u"CurrentControlSet", u"Hardware Profiles", u"Current"})
          out.path.Push(c);
        break;
      default: return ERROR_INVALID_HANDLE;
    }
    out.fixed = out.path.size();
    return ERROR_SUCCESS;
  }
  Handle* open = FindHandle(value);
  if (!open) return ERROR_INVALID_HANDLE;
  out = *open;
  return ERROR_SUCCESS;
}

// The same without copying an open handle: queries run often and should not allocate.
LONG LookupShared(HKEY key, Handle*& out) {
  thread_local Handle root;
  if (Handle* open = FindHandle(reinterpret_cast<uintptr_t>(key))) {
    store::ClearProblem();
    out = open;
    return ERROR_SUCCESS;
  }
  out = &root;
  return Lookup(key, root);
}

// A sub-key path given through the "A" interface is converted in a buffer of 261 characters
// (the thread's static Unicode string): a longer one fails before anything is looked up.
constexpr size_t kMaxSubKeyTextLength = 260;

// Appends a sub-key path given through the "A" interface.
LONG Descend(Handle& h, LPCSTR subKey) {
  if (!subKey || !*subKey) return ERROR_SUCCESS;
  if (std::strlen(subKey) > kMaxSubKeyTextLength) return ERROR_MORE_DATA;
  if (*subKey == '\\') return ERROR_BAD_PATHNAME;
  for (const char* p = subKey; *p;) {
    const char* end = std::strchr(p, '\\');
    if (!end) end = p + std::strlen(p);
    if (static_cast<size_t>(end - p) > store::kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    p = *end ? end + 1 : end;
  }
  // Component by component, converted straight into the path; empty components are skipped.
  for (const char* p = subKey; *p;) {
    if (*p == '\\') {
      ++p;
      continue;
    }
    const char* end = p;
    while (*end && *end != '\\') ++end;
    if (h.path.count++) h.path.text += u'\\';
    const size_t at = h.path.text.size();
    h.path.text.resize(at + static_cast<size_t>(end - p));
    for (char16_t* out = h.path.text.data() + at; p < end; ++p)
      *out++ = Widen(static_cast<unsigned char>(*p));
  }
  h.node = nullptr;
  if (h.hive == kUsersRoot && h.path.size()) {
    Store& s = StoreAt(h.dir);
    if (store::SameName(h.path.Front(), u".Default"))
      h.hive = kUserDefault;
    else if (store::SameName(h.path.Front(), UserSid(s)))
      h.hive = kUser;
    else
      return ERROR_FILE_NOT_FOUND;
    h.path.PopFront();
    h.fixed = 0;
  }
  return ERROR_SUCCESS;
}

// Exact equality of two paths as one block compare (the string's own == compares unit by unit).
bool SameUnits(const std::u16string& a, const std::u16string& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0;
}

// The node of a handle's key in its (refreshed) hive. `node` stays null for a key that exists
// only as a predefined root without lines in the file, and for the HKEY_USERS root.
LONG Locate(const Handle& h, RegistryFile::Node*& node, Hive*& hive) {
  node = nullptr;
  hive = nullptr;
  if (h.hive == kUsersRoot) return ERROR_SUCCESS;
  Store& s = StoreAt(h.dir);
  hive = &s.hives[h.hive];
  if (LONG r = Refresh(*hive)) return r;
  if (h.node && h.file == &hive->file && h.generation == hive->file.Generation() &&
      !h.node->removed) {
    node = h.node;
    return ERROR_SUCCESS;
  }
  if (hive->lastNode && hive->lastGeneration == hive->file.Generation() &&
      SameUnits(hive->lastPath, h.path.text) && !hive->lastNode->removed) {
    node = hive->lastNode;
  } else {
    node = hive->file.FindJoined(h.path.text);
    if (node) {
      hive->lastPath.assign(h.path.text);
      hive->lastGeneration = hive->file.Generation();
      hive->lastNode = node;
    }
  }
  if (!node && h.path.size() > h.fixed) return ERROR_FILE_NOT_FOUND;
  auto& cache = const_cast<Handle&>(h);
  cache.file = &hive->file;
  cache.generation = hive->file.Generation();
  cache.node = node;
  return ERROR_SUCCESS;
}

uintptr_t NewHandle(const Handle& h) {
  size_t slot;
  if (!gFreeSlots.empty()) {
    slot = gFreeSlots.back();
    gFreeSlots.pop_back();
  } else {
    slot = gSlots.size();
    gSlots.emplace_back();
  }
  Slot& s = gSlots[slot];
  s.handle.dir.assign(h.dir);  // assignments reuse the slot's buffers
  s.handle.hive = h.hive;
  s.handle.path.text.assign(h.path.text);
  s.handle.path.count = h.path.count;
  s.handle.fixed = h.fixed;
  s.handle.access = h.access;
  s.handle.file = h.file;
  s.handle.generation = h.generation;
  s.handle.node = h.node;
  s.handle.deleted = h.deleted;
  s.used = true;
  return 0x1000 + 4 * slot;
}

// Runs one change of a hive under its file lock; see store_files_posix.h.
template <typename Change>
LONG Write(const Handle& h, Change&& change) {
  if (h.hive == kUsersRoot) return ERROR_ACCESS_DENIED;
  Store& s = StoreAt(h.dir);
  Hive& hive = s.hives[h.hive];
  store::WriteContext ctx{hive.path, hive.file, hive.identity, hive.loaded, hive.unreadable};
  return store::WriteHive(s.dir, ctx, [&](RegistryFile& file) -> LONG { return change(file); });
}

bool IsString(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

bool SamePathOrBelow(const std::u16string& path, const std::u16string& top) {
  return path.size() >= top.size() &&
         store::SameName(std::u16string_view(path).substr(0, top.size()), top) &&
         (path.size() == top.size() || top.empty() || path[top.size()] == u'\\');
}

// A key was deleted: every open handle to it or to a key below it is marked deleted for good.
void MarkDeleted(const Handle& gone) {
  for (Slot& slot : gSlots) {
    Handle& h = slot.handle;
    if (slot.used && h.hive == gone.hive && h.path.size() >= gone.path.size() &&
        h.dir == gone.dir && SamePathOrBelow(h.path.text, gone.path.text))
      h.deleted = true;
  }
}

// The key of `h` (a copy of the handle `key`) must still exist before anything is done
// beneath it; an open handle whose key has gone is marked deleted for good.
LONG CheckNotDeleted(HKEY key, const Handle& h) {
  if (h.deleted) return ERROR_KEY_DELETED;
  if (h.hive == kUsersRoot || h.path.size() <= h.fixed) return ERROR_SUCCESS;
  RegistryFile::Node* node;
  Hive* hive;
  LONG r = Locate(h, node, hive);
  if (r != ERROR_FILE_NOT_FOUND) return r;
  if (Handle* open = FindHandle(reinterpret_cast<uintptr_t>(key))) open->deleted = true;
  return ERROR_KEY_DELETED;
}

LONG OpenCommon(HKEY key, LPCSTR subKey, REGSAM access, PHKEY result) {
  if (store::smbconf::IsSambaHandle(key))
    return store::smbconf::OpenBelow(key, subKey, MapAccess(access), false, result, nullptr);
  std::lock_guard lock(gMutex);
  thread_local Handle h;
  if (LONG r = Lookup(key, h)) return r;
  if (LONG r = CheckNotDeleted(key, h)) return r;
  if (LONG r = Descend(h, subKey)) return r;
  if (h.hive == kSystem && store::smbconf::IsSambaPath(h.path.text))
    return store::smbconf::Open(h.path.text, MapAccess(access), false, result, nullptr);
  // An empty sub-key of a predefined key opens that key itself, as Windows does.
  if ((!subKey || !*subKey) && !FindHandle(reinterpret_cast<uintptr_t>(key))) {
    *result = PredefinedKey(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key)));
    return ERROR_SUCCESS;
  }
  RegistryFile::Node* node;
  Hive* hive;
  if (LONG r = Locate(h, node, hive)) return r;
  h.access = MapAccess(access);
  *result = reinterpret_cast<HKEY>(NewHandle(h));
  return ERROR_SUCCESS;
}

// The handle's key, checked to still exist and to allow `need`.
LONG Existing(HKEY key, DWORD need, Handle*& h, RegistryFile::Node*& node, Hive*& hive) {
  if (LONG r = LookupShared(key, h)) return r;
  if (h->deleted) return ERROR_KEY_DELETED;
  if (need && (h->access & need) != need) return ERROR_ACCESS_DENIED;
  LONG r = Locate(*h, node, hive);
  if (r == ERROR_FILE_NOT_FOUND) {
    h->deleted = true;  // gone since it was opened (another process deleted it)
    return ERROR_KEY_DELETED;
  }
  return r;
}

LONG DeleteTree(HKEY key, LPCSTR subKey, bool withSubKeys) {
  if (store::smbconf::IsSambaHandle(key)) return store::smbconf::DeleteKey();
  std::lock_guard lock(gMutex);
  Handle h;
  if (LONG r = Lookup(key, h)) return r;
  if (LONG r = CheckNotDeleted(key, h)) return r;
  if (LONG r = Descend(h, subKey)) return r;
  if (h.hive == kSystem && store::smbconf::HoldsSambaPath(h.path.text))
    return store::smbconf::DeleteKey(h.path.text);
  RegistryFile::Node* node;
  Hive* hive;
  if (LONG r = Locate(h, node, hive)) return r;
  if (h.hive == kUsersRoot || h.path.size() <= h.fixed) return ERROR_ACCESS_DENIED;
  LONG r = Write(h, [&](RegistryFile& file) -> LONG {
    RegistryFile::Node* n = file.FindJoined(h.path.text);
    if (!n) return ERROR_FILE_NOT_FOUND;
    if (!withSubKeys && !file.Children(n).empty()) return ERROR_ACCESS_DENIED;
    file.RemoveTree(n, store::FileTimeNow());
    return ERROR_SUCCESS;
  });
  if (r == ERROR_SUCCESS) MarkDeleted(h);
  return r;
}

DWORD StoreSHDeleteKeyA(HKEY key, LPCSTR subKey) {
  return static_cast<DWORD>(DeleteTree(key, subKey, true));
}

FILETIME ToFileTime(uint64_t ticks) {
  return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

}  // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  return OpenCommon(key, subKey, access, result);
}

LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  if ((!subKey || !*subKey) && store::smbconf::IsSambaHandle(key)) {
    *result = key;
    return ERROR_SUCCESS;
  }
  if (!subKey || !*subKey) {
    std::lock_guard lock(gMutex);
    Handle h;
    if (LONG r = Lookup(key, h)) return r;
    *result = key;
    return ERROR_SUCCESS;
  }
  *result = nullptr;
  return OpenCommon(key, subKey, kMaximumAllowed, result);
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR keyClass, DWORD options, REGSAM access,
                     LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if (store::smbconf::IsSambaHandle(key))
    return store::smbconf::OpenBelow(key, subKey, MapAccess(access), true, result, disposition);
  std::lock_guard lock(gMutex);
  Handle h;
  if (LONG r = Lookup(key, h)) return r;
  // The key the new one goes under; it must still exist when the file is changed, or the new
  // key would bring a deleted one back.
  if (LONG r = CheckNotDeleted(key, h)) return r;
  const std::u16string base = h.path.text;
  const size_t baseCount = h.path.size();
  LONG r = Descend(h, subKey);
  if (r == ERROR_FILE_NOT_FOUND) return ERROR_ACCESS_DENIED;  // new keys directly in HKEY_USERS
  if (r) return r;
  if (h.hive == kSystem && store::smbconf::IsSambaPath(h.path.text))
    return store::smbconf::Open(h.path.text, MapAccess(access), true, result, disposition);
  RegistryFile::Node* node;
  Hive* hive;
  r = Locate(h, node, hive);
  bool created = false;
  if (r == ERROR_FILE_NOT_FOUND) {
    std::u16string cls = keyClass ? Cp1250ToUtf16(keyClass) : std::u16string();
    const bool checkBase = baseCount > h.fixed && FindHandle(reinterpret_cast<uintptr_t>(key));
    const bool makeVolatile = (options & REG_OPTION_VOLATILE) != 0;
    r = Write(h, [&](RegistryFile& file) -> LONG {
      if (checkBase && !file.FindJoined(base)) return ERROR_KEY_DELETED;
      // The deepest key of the path that exists already: below a volatile key only volatile
      // keys may be made.
      const std::vector<std::u16string> components = h.path.Components();
      RegistryFile::Node* existing = file.Root();
      for (const auto& component : components) {
        RegistryFile::Node* next = file.FindChild(existing, component);
        if (!next) break;
        existing = next;
      }
      if (existing->isVolatile && !makeVolatile) return ERROR_CHILD_MUST_BE_VOLATILE;
      RegistryFile::Node* n = file.CreatePath(components, store::FileTimeNow(), created);
      if (makeVolatile)
        for (RegistryFile::Node* v = n; v && v != existing; v = v->parent) v->isVolatile = true;
      if (created && !cls.empty()) {
        KeyContent* c = file.Modify(n, store::FileTimeNow());
        c->hasClass = true;
        c->keyClass = cls;
      }
      return created ? ERROR_SUCCESS : -1;  // -1: someone else created it meanwhile
    });
    if (r == -1) r = ERROR_SUCCESS;
    if (r == ERROR_KEY_DELETED)
      if (Handle* open = FindHandle(reinterpret_cast<uintptr_t>(key))) open->deleted = true;
  }
  if (r) return r;
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  h.access = MapAccess(access);
  *result = reinterpret_cast<HKEY>(NewHandle(h));
  return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
  if (reserved || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
  if (store::smbconf::IsSambaHandle(key))
    return store::smbconf::QueryValue(key, valueName, type, data, dataSize);
  std::lock_guard lock(gMutex);
  Handle* h;
  RegistryFile::Node* node;
  Hive* hive;
  if (LONG r = Existing(key, KEY_QUERY_VALUE, h, node, hive)) return r;
  // The room is read before anything is written: type and size may be the same variable.
  const DWORD room = dataSize ? *dataSize : 0;
  const RegValue* v = nullptr;
  if (node) {
    KeyContent* content = hive->file.Content(node);
    thread_local std::u16string wanted;
    wanted.clear();
    for (const char* p = valueName ? valueName : ""; *p; ++p)
      wanted += Widen(static_cast<unsigned char>(*p));
    v = content->Find(wanted);
  }
  if (!v) {
    // Windows reports a missing value as type 0 and, when only the size was asked for, size 0.
    if (type) *type = REG_NONE;
    if (dataSize && !data) *dataSize = 0;
    return ERROR_FILE_NOT_FOUND;
  }
  if (type) *type = v->type;
  std::string converted;
  const std::string* bytes = &v->data;
  bool isString = IsString(v->type);
  if (isString) {
    converted.resize(v->data.size() / 2);
    for (size_t i = 0; i < converted.size(); ++i) {
      char16_t u = static_cast<char16_t>(static_cast<unsigned char>(v->data[2 * i]) |
                                         (static_cast<unsigned char>(v->data[2 * i + 1]) << 8));
      converted[i] = static_cast<char>(UnicodeToCp1250(u));
    }
    bytes = &converted;
  }
  DWORD needed = static_cast<DWORD>(bytes->size());
  if (!dataSize) return ERROR_SUCCESS;
  if (!data) {
    *dataSize = needed;
    return ERROR_SUCCESS;
  }
  *dataSize = needed;
  if (room < needed) return ERROR_MORE_DATA;
  std::memcpy(data, bytes->data(), needed);
  // Windows adds a terminator to a string stored without one when the buffer has room for it.
  if (isString && needed < room && needed > 0 && data[needed - 1] != 0) data[needed] = 0;
  return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                    DWORD dataSize) {
  if (!data && dataSize) return ERROR_NOACCESS;
  if (store::smbconf::IsSambaHandle(key))
    return store::smbconf::SetValue(key, valueName, type, data, dataSize);
  if (valueName && std::strlen(valueName) > store::kMaxValueNameLength)
    return ERROR_INVALID_PARAMETER;
  // A string whose count leaves out its terminating zero gets it counted, as Windows does: it
  // looks at the byte after the count.
  if (IsString(type) && dataSize && data[dataSize - 1] != 0 && data[dataSize] == 0) ++dataSize;
  std::lock_guard lock(gMutex);
  Handle* hp;
  RegistryFile::Node* node;
  Hive* hive;
  if (LONG r = Existing(key, KEY_SET_VALUE, hp, node, hive)) return r;
  const Handle h = *hp;
  RegValue value;
  value.name = Cp1250ToUtf16(valueName ? valueName : "");
  value.type = type;
  if (IsString(type)) {
    value.data.resize(2 * static_cast<size_t>(dataSize));
    for (DWORD i = 0; i < dataSize; ++i) {
      char16_t u = Cp1250ToUnicode(data[i]);
      value.data[2 * i] = static_cast<char>(u & 0xFF);
      value.data[2 * i + 1] = static_cast<char>(u >> 8);
    }
  } else if (dataSize) {
    value.data.assign(reinterpret_cast<const char*>(data), dataSize);
  }
  LONG r = Write(h, [&](RegistryFile& file) -> LONG {
    RegistryFile::Node* n = file.FindJoined(h.path.text);
    uint64_t now = store::FileTimeNow();
    if (!n) {
      if (h.path.size() > h.fixed) return ERROR_KEY_DELETED;
      bool created;
      n = file.CreatePath(h.path.Components(), now, created);
    }
    file.Modify(n, now)->Set(std::move(value));
    return ERROR_SUCCESS;
  });
  if (r == ERROR_KEY_DELETED) hp->deleted = true;
  return r;
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName) {
  if (store::smbconf::IsSambaHandle(key)) return store::smbconf::DeleteValue(key, valueName);
  std::lock_guard lock(gMutex);
  Handle* hp;
  RegistryFile::Node* node;
  Hive* hive;
  if (LONG r = Existing(key, KEY_SET_VALUE, hp, node, hive)) return r;
  const Handle h = *hp;
  std::u16string name = Cp1250ToUtf16(valueName ? valueName : "");
  if (!node || !hive->file.Content(node)->Find(name)) return ERROR_FILE_NOT_FOUND;
  return Write(h, [&](RegistryFile& file) -> LONG {
    RegistryFile::Node* n = file.FindJoined(h.path.text);
    if (!n) return ERROR_KEY_DELETED;
    if (!file.Content(n)->Find(name)) return ERROR_FILE_NOT_FOUND;
    file.Modify(n, store::FileTimeNow())->Erase(name);
    return ERROR_SUCCESS;
  });
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) {
  if (!subKey) return ERROR_INVALID_PARAMETER;
  return DeleteTree(key, subKey, false);
}

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                   LPSTR keyClass, LPDWORD classSize, PFILETIME lastWriteTime) {
  if (!name || !nameSize || reserved) return ERROR_INVALID_PARAMETER;
  if (store::smbconf::IsSambaHandle(key)) {
    if (keyClass && classSize && *classSize) *keyClass = 0;
    if (classSize) *classSize = 0;
    return store::smbconf::EnumKey(key, index, name, nameSize, lastWriteTime);
  }
  std::lock_guard lock(gMutex);
  Handle* hp;
  RegistryFile::Node* node;
  Hive* hive;
  if (LONG r = Existing(key, KEY_ENUMERATE_SUB_KEYS, hp, node, hive)) return r;
  const Handle& h = *hp;
  std::string found;
  std::u16string cls;
  uint64_t time = 0;
  if (h.hive == kUsersRoot) {
    if (index > 1) return ERROR_NO_MORE_ITEMS;
    found = index == 0 ? ".Default" : Narrow(UserSid(StoreAt(h.dir)));
  } else {
    if (!node) return ERROR_NO_MORE_ITEMS;
    const auto& kids = hive->file.Children(node);
    if (index >= kids.size()) return ERROR_NO_MORE_ITEMS;
    RegistryFile::Node* child = kids[index];
    found = Narrow(child->name);
    if (child->block) {
      KeyContent* c = hive->file.Content(child);
      time = c->time;
      if (c->hasClass) cls = c->keyClass;
    }
  }
  std::string clsA = Narrow(cls);
  if (found.size() >= *nameSize || (keyClass && classSize && clsA.size() >= *classSize))
    return ERROR_MORE_DATA;
  std::memcpy(name, found.c_str(), found.size() + 1);
  *nameSize = static_cast<DWORD>(found.size());
  if (keyClass && classSize) {
    std::memcpy(keyClass, clsA.c_str(), clsA.size() + 1);
    *classSize = static_cast<DWORD>(clsA.size());
  }
  if (lastWriteTime) *lastWriteTime = ToFileTime(time);
  return ERROR_SUCCESS;
}

LONG RegQueryInfoKeyA(HKEY key, LPSTR keyClass, LPDWORD classSize, LPDWORD reserved,
                      LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD maxClassLen, LPDWORD values,
                      LPDWORD maxValueNameLen, LPDWORD maxValueLen, LPDWORD securityDescriptor,
                      PFILETIME lastWriteTime) {
  if (reserved || (keyClass && !classSize)) return ERROR_INVALID_PARAMETER;
  if (store::smbconf::IsSambaHandle(key)) {
    if (keyClass && *classSize) *keyClass = 0;
    if (classSize) *classSize = 0;
    if (maxClassLen) *maxClassLen = 0;
    if (securityDescriptor) *securityDescriptor = 0;
    if (lastWriteTime) *lastWriteTime = FILETIME{0, 0};
    return store::smbconf::QueryInfo(key, subKeys, maxSubKeyLen, values, maxValueNameLen,
                                     maxValueLen);
  }
  std::lock_guard lock(gMutex);
  Handle* hp;
  RegistryFile::Node* node;
  Hive* hive;
  if (LONG r = Existing(key, KEY_QUERY_VALUE, hp, node, hive)) return r;
  DWORD keys = 0, longestKey = 0, longestClass = 0, valueCount = 0, longestName = 0,
        longestData = 0;
  std::string cls;
  uint64_t time = 0;
  if (hp->hive == kUsersRoot) {
    // The users' root lists the default user and the prefix's own user, as enumeration does.
    keys = 2;
    longestKey = static_cast<DWORD>(Narrow(UserSid(StoreAt(hp->dir))).size());
  } else if (node) {
    const auto& kids = hive->file.Children(node);
    keys = static_cast<DWORD>(kids.size());
    for (RegistryFile::Node* child : kids) {
      longestKey = std::max(longestKey, static_cast<DWORD>(child->name.size()));
      // Classes are read from each sub-key's lines: only when asked for.
      if (maxClassLen && child->block) {
        const KeyContent* cc = hive->file.Content(child);
        if (cc->hasClass)
          longestClass = std::max(longestClass, static_cast<DWORD>(cc->keyClass.size()));
      }
    }
    KeyContent* c = hive->file.Content(node);
    valueCount = static_cast<DWORD>(c->values.size());
    // Lengths in characters, data in the bytes it is kept in (strings in UTF-16), as Windows
    // reports them.
    for (const RegValue& v : c->values) {
      longestName = std::max(longestName, static_cast<DWORD>(v.name.size()));
      longestData = std::max(longestData, static_cast<DWORD>(v.data.size()));
    }
    time = c->time;
    if (c->hasClass) cls = Narrow(c->keyClass);
  }
  LONG result = ERROR_SUCCESS;
  DWORD classLength = static_cast<DWORD>(cls.size());
  // A class buffer of no characters is not written to; one too small takes what fits and its
  // terminator, and the size says how much that is.
  if (keyClass && *classSize) {
    if (*classSize <= cls.size()) {
      classLength = *classSize - 1;
      result = ERROR_MORE_DATA;
    }
    std::memcpy(keyClass, cls.data(), classLength);
    keyClass[classLength] = 0;
  }
  if (classSize) *classSize = classLength;
  if (subKeys) *subKeys = keys;
  if (maxSubKeyLen) *maxSubKeyLen = longestKey;
  if (maxClassLen) *maxClassLen = longestClass;
  if (values) *values = valueCount;
  if (maxValueNameLen) *maxValueNameLen = longestName;
  if (maxValueLen) *maxValueLen = longestData;
  if (securityDescriptor) *securityDescriptor = 0;
  if (lastWriteTime) *lastWriteTime = ToFileTime(time);
  return result;
}

LONG RegCloseKey(HKEY key) {
  if (store::smbconf::IsSambaHandle(key)) return store::smbconf::Close(key);
  std::lock_guard lock(gMutex);
  auto value = reinterpret_cast<uintptr_t>(key);
  for (uint32_t root = 0x80000000u; root <= 0x80000006u; ++root)
    if (value == reinterpret_cast<uintptr_t>(PredefinedKey(root)) || value == root)
      return ERROR_SUCCESS;
  if (!FindHandle(value)) return ERROR_INVALID_HANDLE;
  size_t slot = (value - 0x1000) / 4;
  gSlots[slot].used = false;
  gFreeSlots.push_back(slot);
  return ERROR_SUCCESS;
}

// ---- SHLWAPI.DLL, as far as the store offers it ---------------------------------------------

namespace {
bool gTreeDeleteAvailable = true;
int gShlwapiToken;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
}  // namespace

HMODULE LoadLibraryA(LPCSTR fileName) {
  if (fileName && EqualsIgnoreCase(fileName, "SHLWAPI.DLL")) {
    return reinterpret_cast<HMODULE>(&gShlwapiToken);
  }
  if (fileName && EqualsIgnoreCase(fileName, "SHLWAPI"))
    return reinterpret_cast<HMODULE>(&gShlwapiToken);
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
  if (module == reinterpret_cast<HMODULE>(&gShlwapiToken) && procName &&
      reinterpret_cast<uintptr_t>(procName) > 0xFFFF &&
      std::strcmp(procName, "SHDeleteKeyA") == 0 && gTreeDeleteAvailable) {
    // Through void(*)(): callers cast back to the real signature, as with GetProcAddress on
    // Windows.
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&StoreSHDeleteKeyA));
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
  if (module == reinterpret_cast<HMODULE>(&gShlwapiToken)) return 1;
  SetLastError(ERROR_INVALID_HANDLE);
  return 0;
}

}  // namespace vantrel::seam

namespace vantrel::store {
void SetTreeDeleteAvailable(bool available) { seam::gTreeDeleteAvailable = available; }
}  // namespace vantrel::store

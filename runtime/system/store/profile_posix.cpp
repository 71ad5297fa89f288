// Profile (INI) files of the platform seam, with Windows' rules: sections and entries are found
// without regard to case, a missing entry yields the default text, a write without an entry
// removes the section and a write without a value removes the entry. A bare file name lives in
// the Windows folder, which for the store is its own folder (a Wine prefix: drive_c/windows);
// the system's own profile is win.ini there.
//
// A write changes only the lines it must; every other byte of the file stays as it was, and the
// file is replaced atomically under a lock like the registry files.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/text/cp1250.h"
#include "runtime/system/store/registry_store.h"
#include "runtime/system/store/store_files_posix.h"
#include "runtime/system/store/wine_registry_file.h"
#include "runtime/seam/win32_seam.h"

namespace vantrel::seam {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (IsBlank(s.front()) || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool SameText(std::string_view a, std::string_view b) {
  return store::SameName(Cp1250ToUtf16(a), Cp1250ToUtf16(b));
}

struct Line {
  size_t begin = 0, end = 0;  // the line with its line break
  enum Kind { kOther, kSection, kEntry } kind = kOther;
  std::string_view name;   // section or entry name
  std::string_view value;  // entry value
  bool hasValue = false;
  int section = -1;  // index of the section line the entry belongs to
};

struct Profile {
  std::string text;
  std::vector<Line> lines;
  std::string eol = "\r\n";

  void Parse() {
    lines.clear();
    int section = -1;
    size_t at = 0;
    bool eolSeen = false;
    while (at < text.size()) {
      // Windows ends a line at "\r\n", "\n" or a lone "\r".
      size_t nl = text.find_first_of("\r\n", at);
      size_t end = text.size();
      if (nl != std::string::npos) {
        const bool crlf = text[nl] == '\r' && nl + 1 < text.size() && text[nl + 1] == '\n';
        end = nl + (crlf ? 2 : 1);
        if (!eolSeen) {
          eol = crlf ? "\r\n" : text[nl] == '\r' ? "\r" : "\n";
          eolSeen = true;
        }
      }
      Line l;
      l.begin = at;
      l.end = end;
      std::string_view s = Trim(
          std::string_view(text).substr(at, (nl == std::string::npos ? text.size() : nl) - at));
      if (!s.empty() && s[0] == '[') {
        size_t close = s.find(']');
        l.kind = Line::kSection;
        l.name =
            Trim(s.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
        section = static_cast<int>(lines.size());
      } else if (!s.empty() && s[0] != ';') {
        l.kind = Line::kEntry;
        size_t eq = s.find('=');
        l.name = Trim(s.substr(0, eq));
        if (eq != std::string_view::npos) {
          l.value = Trim(s.substr(eq + 1));
          l.hasValue = true;
        }
      }
      l.section = section;
      lines.push_back(l);
      at = end;
    }
  }

  bool SectionMatches(int index, std::string_view section) const {
    if (index < 0) return section.empty();
    return SameText(lines[index].name, section);
  }
};

bool ReadProfile(const std::string& path, Profile& p) {
  store::FileIdentity id;
  if (store::ReadWholeFile(path, p.text, id) != 0) return false;
  p.Parse();
  return true;
}

std::string WindowsFolder() {
  std::string dir = store::StoreFolder();
  struct stat st;
  std::string wine = dir + "/drive_c/windows";
  if (stat(wine.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return wine;
  return dir;
}

std::string ProfilePath(LPCSTR fileName) {
  if (!fileName || !*fileName) return WindowsFolder() + "/win.ini";
  std::string name = fileName;
  for (auto& c : name)
    if (c == '\\') c = '/';
  if (name.find('/') == std::string::npos) return WindowsFolder() + "/" + name;
  return name;
}

// Copies `text` into the caller's buffer the way the profile functions do; returns the count.
DWORD CopyOut(std::string_view text, LPSTR out, DWORD size) {
  DWORD n = static_cast<DWORD>(std::min<size_t>(text.size(), size - 1));
  std::memcpy(out, text.data(), n);
  out[n] = 0;
  return n;
}

// A list of names, each ending in a zero, the list ending in one more.
DWORD CopyList(const std::vector<std::string_view>& names, LPSTR out, DWORD size) {
  if (size < 2) {
    out[0] = 0;
    return 0;
  }
  DWORD pos = 0;
  for (auto n : names) {
    if (pos + n.size() + 1 > size - 1) {
      // Cut: Windows ends the buffer with two zeros and returns size - 2.
      size_t room = size - 1 - pos;
      std::memcpy(out + pos, n.data(), room > 0 ? room - 1 : 0);
      out[size - 2] = 0;
      out[size - 1] = 0;
      return size - 2;
    }
    std::memcpy(out + pos, n.data(), n.size());
    pos += static_cast<DWORD>(n.size());
    out[pos++] = 0;
  }
  out[pos] = 0;
  return pos;
}

DWORD GetEntry(LPCSTR section, LPCSTR key, LPCSTR defaultText, LPSTR out, DWORD size,
               const std::string& path) {
  if (!out || size == 0) return 0;
  std::string_view def = defaultText ? defaultText : "";
  while (!def.empty() && def.back() == ' ') def.remove_suffix(1);
  Profile p;
  bool have = ReadProfile(path, p);
  if (!section) {
    std::vector<std::string_view> names;
    if (have)
      for (const auto& l : p.lines)
        if (l.kind == Line::kSection) names.push_back(l.name);
    return CopyList(names, out, size);
  }
  if (!key) {
    // Only lines with '=' are entries to list (a line of other text, or the zero byte some
    // editors leave at the end, is not).
    std::vector<std::string_view> names;
    if (have)
      for (const auto& l : p.lines)
        if (l.kind == Line::kEntry && l.hasValue && p.SectionMatches(l.section, section))
          names.push_back(l.name);
    return CopyList(names, out, size);
  }
  if (have) {
    for (const auto& l : p.lines) {
      if (l.kind != Line::kEntry || !p.SectionMatches(l.section, section) || !SameText(l.name, key))
        continue;
      if (!l.hasValue) break;
      std::string_view v = l.value;
      if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
      return CopyOut(v, out, size);
    }
  }
  return CopyOut(def, out, size);
}

// Locks the file at `path` (creating it empty when `create`); -1 with errno set on failure.
int LockProfile(const std::string& path, bool create) {
  for (;;) {
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0644);
    if (fd < 0) return -1;
    if (flock(fd, LOCK_EX) != 0) {
      int e = errno;
      close(fd);
      errno = e;
      return -1;
    }
    struct stat held, now;
    if (fstat(fd, &held) == 0 && stat(path.c_str(), &now) == 0 && held.st_ino == now.st_ino &&
        held.st_dev == now.st_dev)
      return fd;
    close(fd);
  }
}

BOOL PutEntry(LPCSTR section, LPCSTR key, LPCSTR value, const std::string& path) {
  if (!section) {
    // Without a section nothing is written: Windows fails, naming no entry as not found.
    if (key) SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  bool removing = !key || !value;
  if (removing && access(path.c_str(), F_OK) != 0) return 1;
  int fd = LockProfile(path, !removing);
  if (fd < 0) {
    int err = errno;
    store::ReportProblem("cannot write " + path + ": " + store::ErrorText(err));
    SetLastError(static_cast<DWORD>(store::ErrnoToWin32(err, 1013)));
    return 0;
  }
  Profile p;
  store::FileIdentity id;
  if (int err = store::ReadWholeFile(path, p.text, id)) {
    close(fd);
    store::ReportProblem("cannot read " + path + ": " + store::ErrorText(err));
    SetLastError(static_cast<DWORD>(store::ErrnoToWin32(err)));
    return 0;
  }
  p.Parse();
  std::string out;
  out.reserve(p.text.size() + 64);
  const std::string& t = p.text;
  bool changed = false;
  if (!key) {
    // Remove every line of the section, from its header to the next header.
    for (const auto& l : p.lines) {
      int owner = l.kind == Line::kSection ? static_cast<int>(&l - p.lines.data()) : l.section;
      if (owner >= 0 && p.SectionMatches(owner, section)) {
        changed = true;
        continue;
      }
      out.append(t, l.begin, l.end - l.begin);
    }
  } else if (!value) {
    for (const auto& l : p.lines) {
      if (l.kind == Line::kEntry && p.SectionMatches(l.section, section) && SameText(l.name, key)) {
        changed = true;
        continue;
      }
      out.append(t, l.begin, l.end - l.begin);
    }
  } else {
    // Replace the entry, or add it after the section's last entry, or add the section.
    int target = -1, lastOfSection = -1;
    for (size_t i = 0; i < p.lines.size(); ++i) {
      const Line& l = p.lines[i];
      int owner = l.kind == Line::kSection ? static_cast<int>(i) : l.section;
      if (!p.SectionMatches(owner, section) || (owner < 0 && l.kind != Line::kEntry)) continue;
      if (l.kind == Line::kEntry && target < 0 && SameText(l.name, key))
        target = static_cast<int>(i);
      if (l.kind != Line::kOther) lastOfSection = static_cast<int>(i);
    }
    auto entryLine = [&](std::string_view name) { return std::string(name) + "=" + value + p.eol; };
    for (size_t i = 0; i < p.lines.size(); ++i) {
      const Line& l = p.lines[i];
      if (static_cast<int>(i) == target) {
        out += entryLine(l.name);
        continue;
      }
      out.append(t, l.begin, l.end - l.begin);
      if (target < 0 && static_cast<int>(i) == lastOfSection) {
        if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += p.eol;
        out += entryLine(key);
      }
    }
    if (target < 0 && lastOfSection < 0) {
      // A new section follows the last line directly, as Windows writes it.
      if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += p.eol;
      out += "[" + std::string(section) + "]" + p.eol;
      out += entryLine(key);
    }
    changed = true;
  }
  int err = changed ? store::ReplaceFile(path, out, fd, nullptr) : 0;
  close(fd);
  if (err) {
    store::ReportProblem("cannot write " + path + ": " + store::ErrorText(err));
    SetLastError(static_cast<DWORD>(store::ErrnoToWin32(err, 1013)));
    return 0;
  }
  return 1;
}

}  // namespace

// An empty file name is no file: Windows refuses it (where a null name means win.ini).
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText, LPSTR out,
                               DWORD outSize, LPCSTR fileName) {
  if (fileName && !*fileName) {
    const DWORD n = GetEntry(section, key, defaultText, out, outSize, std::string());
    SetLastError(ERROR_ACCESS_DENIED);
    return n;
  }
  return GetEntry(section, key, defaultText, out, outSize,
                  ProfilePath(fileName ? fileName : "win.ini"));
}

DWORD GetProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText, LPSTR out, DWORD outSize) {
  return GetEntry(section, key, defaultText, out, outSize, ProfilePath(nullptr));
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR text, LPCSTR fileName) {
  if (fileName && !*fileName) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  return PutEntry(section, key, text, ProfilePath(fileName ? fileName : "win.ini"));
}

BOOL WriteProfileStringA(LPCSTR section, LPCSTR key, LPCSTR text) {
  return PutEntry(section, key, text, ProfilePath(nullptr));
}

}  // namespace vantrel::seam

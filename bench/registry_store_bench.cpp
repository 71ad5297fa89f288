// Registry store: reading and writing one value in a system.reg the size of a fresh Wine
// prefix's (about 44,000 lines, 1.7 MB), against the floor of reading the file's bytes once and
// counting its lines, all in one run.
//
//   floor        open + read the whole file + close, count its lines
//   first read   the file changed since the last look: RegOpenKeyExA, RegQueryValueExA for the
//                size, RegQueryValueExA for the data, RegCloseKey (the sequence RegistryGetValue
//                uses), which reads and indexes the whole file
//   later read   the same sequence on the unchanged file
//   open read    RegQueryValueExA through a key held open, on the unchanged file: one fstat tells
//                that the file is still the one read (so another process's write is seen)
//   fstat        one fstat of the open file, the floor of that check
//   write        RegSetValueExA of one DWORD: lock, whole file rewritten, flushed, renamed
//
// Then the same file with a key of 100,000 values and one of 100: a read through the open key
// and a write of one value in each (after the first read of the file); and a system.reg of
// 50 MB read the first time, against one pass over its bytes.
//
// Goals: first read within 10x the floor; a read through an open key within 1.5x of one fstat;
// a write within 3x the first read; read and write in the key of 100,000 values each within 2x
// of the same in the key of 100; the first read of the 50 MB file within 10x of its floor.
// Each figure is the median of interleaved rounds, in CPU time
// of this process (the machine may be shared; wall time would charge us for other programs) and
// in wall time; the write's goal is judged on wall time, since its cost is waiting for the disk.
// With VANTREL_BENCH_PREFIX set to a Wine prefix, its system.reg is used instead of the generated
// one and `wine64 reg query` of the same value is timed as a reference.
//
// Usage: registry_store_bench [rounds]   (default 21; the 50 MB file gets a third of them)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/text/cp1250.h"
#include "runtime/system/store/wine_registry_file.h"
#include "runtime/seam/win32_seam.h"

namespace {

using namespace vantrel::seam;
using vantrel::store::KeyContent;
using vantrel::store::RegistryFile;
using vantrel::store::RegValue;
using Clock = std::chrono::steady_clock;

constexpr const char* kKey = "System\\CurrentControlSet\\Services\\LanmanServer\\Parameters";
constexpr const char* kValue = "EnableOplocks";

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

double CpuNow() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Wall and CPU time of one measured stretch.
struct Span {
  Clock::time_point wall;
  double cpu;
  static Span Now() { return {Clock::now(), CpuNow()}; }
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

std::u16string W(const std::string& s) { return vantrel::Cp1250ToUtf16(s); }

std::string Utf16Bytes(const std::u16string& s) {
  std::string out;
  for (char16_t u : s) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  out.append(2, '\0');
  return out;
}

// A machine registry shaped like the one wineboot makes: class registrations under
// Software\Classes, program settings under Software, services under System; string values
// (paths, names), DWORDs, short and long binary values.
std::string GenerateSystemReg() {
  std::mt19937 rng(1250);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  static const char* kWords[] = {
      "Microsoft", "Windows",   "CurrentVersion", "Explorer", "Shell",        "Internet Settings",
      "Policies",  "Services",  "Control",        "Fonts",    "Setup",        "Media",
      "Drivers32", "Uninstall", "App Paths",      "Ole",      "Cryptography", "Defaults",
      "Provider",  "Parameters"};
  auto guid = [&]() {
    char buf[48];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%04X-%012llX}", static_cast<unsigned>(rng()),
                  pick(65536), pick(65536), pick(65536),
                  (static_cast<unsigned long long>(rng()) << 16) ^ rng());
    return std::string(buf);
  };
  RegistryFile file;
  file.Load(
      "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n");
  const uint64_t time = 0x1dd8860cb9bbcaaull;
  auto addKey = [&](std::vector<std::u16string> path, int values) {
    bool created;
    RegistryFile::Node* node = file.CreatePath(path, time, created);
    KeyContent* c = file.Modify(node, time + static_cast<uint64_t>(pick(1000000)));
    std::vector<RegValue> vals;
    for (int i = 0; i < values; ++i) {
      RegValue v;
      v.name = i == 0 && pick(3) == 0 ? u"" : W(std::string(kWords[pick(20)]) + std::to_string(i));
      int kind = pick(100);
      if (kind < 60) {
        v.type = 1;
        v.data = Utf16Bytes(W("C:\\windows\\system32\\" + std::string(kWords[pick(20)]) + "_" +
                              std::to_string(pick(100000)) + ".dll"));
      } else if (kind < 85) {
        v.type = 4;
        uint32_t d = rng();
        v.data.assign(reinterpret_cast<const char*>(&d), 4);
      } else {
        v.type = 3;
        int n = kind < 96 ? 8 + pick(24) : 120 + pick(200);
        for (int b = 0; b < n; ++b) v.data.push_back(static_cast<char>(pick(256)));
      }
      vals.push_back(std::move(v));
    }
    std::sort(vals.begin(), vals.end(), [](const RegValue& a, const RegValue& b) {
      return vantrel::store::CompareNames(a.name, b.name) < 0;
    });
    vals.erase(std::unique(vals.begin(), vals.end(),
                           [](const RegValue& a, const RegValue& b) {
                             return vantrel::store::SameName(a.name, b.name);
                           }),
               vals.end());
    c->values = std::move(vals);
  };
  for (int i = 0; i < 3000; ++i) {
    std::u16string id = W(guid());
    addKey({u"Software", u"Classes", u"CLSID", id}, 1 + pick(2));
    addKey({u"Software", u"Classes", u"CLSID", id, u"InprocServer32"}, 1 + pick(2));
  }
  for (int i = 0; i < 1800; ++i) {
    std::vector<std::u16string> path{u"Software"};
    int depth = 2 + pick(5);
    for (int d = 0; d < depth; ++d)
      path.push_back(W(std::string(kWords[pick(20)]) + (d == depth - 1 ? std::to_string(i) : "")));
    addKey(path, pick(6));
  }
  for (int i = 0; i < 1100; ++i)
    addKey(
        {u"System", u"CurrentControlSet", u"Services", W("Svc" + std::to_string(i)), u"Parameters"},
        1 + pick(4));
  addKey({u"System", u"CurrentControlSet", u"Services", u"LanmanServer", u"Parameters"}, 2);
  RegistryFile::Node* node =
      file.Find({u"System", u"CurrentControlSet", u"Services", u"LanmanServer", u"Parameters"});
  KeyContent* c = file.Modify(node, time);
  c->values.push_back(RegValue{W(kValue), 4, std::string("\x01\0\0\0", 4)});
  return file.Serialize();
}

// The floor: the file's bytes read once and its lines counted.
size_t Floor(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  fstat(fd, &st);
  std::string buf(static_cast<size_t>(st.st_size), '\0');
  size_t got = 0;
  while (got < buf.size()) {
    ssize_t n = read(fd, buf.data() + got, buf.size() - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  return static_cast<size_t>(std::count(buf.begin(), buf.begin() + static_cast<long>(got), '\n'));
}

DWORD ReadValue() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, 0x20001, &key) != ERROR_SUCCESS) return 0xDEAD;
  DWORD type = 0, size = 0;
  RegQueryValueExA(key, kValue, nullptr, &type, nullptr, &size);
  std::string data(size, '\0');
  RegQueryValueExA(key, kValue, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
  RegCloseKey(key);
  DWORD v = 0;
  if (data.size() == 4) std::copy(data.begin(), data.end(), reinterpret_cast<char*>(&v));
  return v;
}

// Another process changed the file: give it a new modification time.
void Touch(const std::string& path) { utimensat(AT_FDCWD, path.c_str(), nullptr, 0); }

// One key's text as Wine writes it, with `count` DWORD values named v000000, v000001 ...
std::string KeyWithValues(const std::string& escapedPath, int count) {
  std::string out = "[" + escapedPath + "] 1700000000\n#time=1d9f2a0c0b1a2c0\n";
  char line[48];
  for (int i = 0; i < count; ++i) {
    std::snprintf(line, sizeof line, "\"v%06d\"=dword:%08x\n", i, static_cast<unsigned>(i * 7));
    out += line;
  }
  return out + "\n";
}

// A machine registry of about `bytes` bytes: class registrations, each a key with its server
// key below, in the order Wine writes them, and the key the reads look for.
std::string LargeSystemReg(size_t bytes) {
  std::string out =
      "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n";
  char buf[512];
  for (unsigned i = 0; out.size() < bytes; ++i) {
    std::snprintf(buf, sizeof buf,
                  "[Software\\\\Classes\\\\CLSID\\\\{%08X-0000-4000-8000-%012X}] "
                  "1700000000\n#time=1d9f2a0c0b1a2c0\n"
                  "@=\"Component %u\"\n\"AppID\"=\"{%08X-1111-4000-8000-000000000000}\"\n\n"
                  "[Software\\\\Classes\\\\CLSID\\\\{%08X-0000-4000-8000-%012X}\\\\InprocServer32] "
                  "1700000000\n"
                  "#time=1d9f2a0c0b1a2c0\n@=\"C:\\\\windows\\\\system32\\\\component%u.dll\"\n"
                  "\"ThreadingModel\"=\"Both\"\n\n",
                  i, i, i, i, i, i, i);
    out += buf;
  }
  out +=
      "[System\\\\CurrentControlSet\\\\Services\\\\LanmanServer\\\\Parameters] 1700000000\n"
      "#time=1d9f2a0c0b1a2c0\n\"EnableOplocks\"=dword:00000001\n\n";
  return out;
}

// RegQueryValueExA of a DWORD through an open key.
DWORD QueryOpen(HKEY key, const char* name) {
  DWORD v = 0, size = 4, type = 0;
  RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&v), &size);
  return v;
}

// Median seconds per call of `op`, CPU time, over `rounds` rounds of `calls` calls each.
template <typename Op>
double PerCall(int rounds, int calls, Op&& op) {
  std::vector<double> t;
  for (int r = 0; r < rounds; ++r) {
    double a = CpuNow();
    for (int i = 0; i < calls; ++i) op();
    t.push_back((CpuNow() - a) / calls);
  }
  return Median(t);
}

const char* Verdict(bool ok) { return ok ? "ok" : "MISSED"; }

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 21;
  char tmpl[] = "/tmp/vantrel-store-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  std::string dir = tmpl;
  std::string path = dir + "/system.reg";
  const char* prefix = std::getenv("VANTREL_BENCH_PREFIX");
  std::string source = "generated";
  std::string text;
  if (prefix && *prefix) {
    std::ifstream f(std::string(prefix) + "/system.reg", std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    text = ss.str();
    source = std::string(prefix) + "/system.reg";
  } else {
    text = GenerateSystemReg();
  }
  std::ofstream(path, std::ios::binary) << text;
  setenv("VANTREL_REGISTRY", dir.c_str(), 1);
  HKEY writable = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &writable,
                      nullptr) != 0) {
    std::fprintf(stderr, "cannot open the key for writing\n");
    return 1;
  }
  DWORD v = 7;
  RegSetValueExA(writable, kValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4);

  // [0] wall, [1] CPU
  std::vector<double> floor[2], first[2], later[2], write[2], writeAfterChange[2];
  auto record = [](std::vector<double>* into, Span a, Span b, double divide = 1) {
    into[0].push_back(Seconds(a.wall, b.wall) / divide);
    into[1].push_back((b.cpu - a.cpu) / divide);
  };
  size_t lines = 0;
  constexpr int kLaterReads = 2000;
  for (int r = 0; r < rounds; ++r) {
    Span t0 = Span::Now();
    lines = Floor(path);
    record(floor, t0, Span::Now());

    Touch(path);
    t0 = Span::Now();
    DWORD got = ReadValue();
    record(first, t0, Span::Now());
    if (got != v) std::fprintf(stderr, "read %u, expected %u\n", got, v);

    t0 = Span::Now();
    for (int i = 0; i < kLaterReads; ++i) got ^= ReadValue();
    record(later, t0, Span::Now(), kLaterReads);

    v = static_cast<DWORD>(r + 100);
    t0 = Span::Now();
    LONG rc = RegSetValueExA(writable, kValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4);
    record(write, t0, Span::Now());
    if (rc != 0) std::fprintf(stderr, "write failed: %d\n", rc);

    Touch(path);
    v = static_cast<DWORD>(r + 1000);
    t0 = Span::Now();
    RegSetValueExA(writable, kValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4);
    record(writeAfterChange, t0, Span::Now());
  }
  RegCloseKey(writable);

  struct stat st;
  stat(path.c_str(), &st);
  std::printf("system.reg: %zu lines, %lld bytes (%s); median of %d rounds\n", lines,
              static_cast<long long>(st.st_size), source.c_str(), rounds);
  std::printf("                                              CPU time       wall time\n");
  double m[5][2];
  const char* names[5] = {"floor (read the bytes, count lines)",
                          "first read (read + index + lookup)", "later read (unchanged file)",
                          "write one value (rewrite, fsync, rename)",
                          "write after another process's change"};
  std::vector<double>* series[5] = {floor, first, later, write, writeAfterChange};
  for (int i = 0; i < 5; ++i) {
    for (int c = 0; c < 2; ++c) m[i][c] = Median(series[i][c]);
    double scale = i == 2 ? 1e6 : 1e3;
    const char* unit = i == 2 ? "us" : "ms";
    std::printf("  %-42s %9.3f %s   %9.3f %s\n", names[i], m[i][1] * scale, unit, m[i][0] * scale,
                unit);
  }
  // A read through a key held open against one fstat of the file, interleaved in one run.
  HKEY openKey = nullptr;
  RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &openKey);
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  std::vector<double> openRead, oneStat;
  DWORD sink = 0;
  for (int r = 0; r < rounds; ++r) {
    oneStat.push_back(PerCall(1, 20000, [&] {
      struct stat s;
      fstat(fd, &s);
      sink ^= static_cast<DWORD>(s.st_size);
    }));
    openRead.push_back(PerCall(1, 20000, [&] { sink ^= QueryOpen(openKey, kValue); }));
  }
  close(fd);
  RegCloseKey(openKey);
  const double openUs = Median(openRead) * 1e6, statUs = Median(oneStat) * 1e6;
  std::printf("  %-42s %9.3f us\n  %-42s %9.3f us\n", "read through an open key", openUs,
              "one fstat of the file", statUs);
  double firstRatio = m[1][1] / m[0][1], openRatio = openUs / statUs,
         writeRatio = m[3][0] / m[1][0];
  std::printf("  first read / floor (CPU)       %8.2f   goal <= 10     %s\n", firstRatio,
              Verdict(firstRatio <= 10));
  std::printf("  open-key read / fstat (CPU)    %8.2f   goal <= 1.5    %s\n", openRatio,
              Verdict(openRatio <= 1.5));
  std::printf("  write / first read (wall)      %8.2f   goal <= 3      %s\n", writeRatio,
              Verdict(writeRatio <= 3));
  std::printf(
      "  (wall-time ratios: first/floor %.2f, first/later %.0f; write after a change / first read "
      "%.2f)\n",
      m[1][0] / m[0][0], m[1][0] / m[2][0], m[4][0] / m[1][0]);

  if (prefix && *prefix && access("/usr/lib/wine/wine64", X_OK) == 0) {
    std::string copy = dir + "/prefix";
    std::string env = "WINEPREFIX='" + copy + "' WINEDEBUG=-all ";
    std::system(("cp -a '" + std::string(prefix) + "' '" + copy + "'").c_str());
    std::string cmd = env + "/usr/lib/wine/wine64 reg query 'HKLM\\" + kKey + "' /v " + kValue +
                      " >/dev/null 2>&1";
    std::vector<double> wine;
    for (int i = 0; i < 5; ++i) {
      auto t0 = Clock::now();
      std::system(cmd.c_str());
      wine.push_back(Seconds(t0, Clock::now()));
    }
    std::system(
        (env + "/usr/lib/wine/wineserver -k; " + env + "/usr/lib/wine/wineserver -w").c_str());
    std::printf(
        "  reference: wine64 reg query, same value: first %.0f ms (starts the wineserver), "
        "then median %.0f ms\n",
        wine[0] * 1e3, Median(std::vector<double>(wine.begin() + 1, wine.end())) * 1e3);
  }

  // A key of 100,000 values against one of 100, in the same file, after its first read.
  {
    std::string big = text;
    big += "\n" + KeyWithValues("Software\\\\VantrelBench\\\\Big", 100000) +
           KeyWithValues("Software\\\\VantrelBench\\\\Small", 100);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << big;
    HKEY keys[2] = {nullptr, nullptr};
    const char* names[2] = {"Software\\VantrelBench\\Big", "Software\\VantrelBench\\Small"};
    const char* probe[2] = {"v050000", "v000050"};
    for (int k = 0; k < 2; ++k) {
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, names[k], 0, KEY_ALL_ACCESS, &keys[k]);
      if (QueryOpen(keys[k], probe[k]) != (k == 0 ? 50000u * 7 : 350u))
        std::fprintf(stderr, "wrong value in %s\n", names[k]);
    }
    std::vector<double> reads[2], writes[2];
    for (int r = 0; r < rounds; ++r) {
      for (int k = 0; k < 2; ++k) {
        reads[k].push_back(PerCall(1, 2000, [&] { sink ^= QueryOpen(keys[k], probe[k]); }));
        DWORD v = static_cast<DWORD>(r);
        Span t0 = Span::Now();
        if (RegSetValueExA(keys[k], probe[k], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4) !=
            0)
          std::fprintf(stderr, "write in %s failed\n", names[k]);
        writes[k].push_back(Seconds(t0.wall, Clock::now()));
      }
    }
    for (HKEY k : keys) RegCloseKey(k);
    const double readRatio = Median(reads[0]) / Median(reads[1]),
                 writeBig = Median(writes[0]) / Median(writes[1]);
    std::printf("key of 100,000 values vs key of 100 (same %zu-byte file):\n", big.size());
    std::printf("  read  %9.3f us vs %9.3f us (CPU)   ratio %6.2f   goal <= 2   %s\n",
                Median(reads[0]) * 1e6, Median(reads[1]) * 1e6, readRatio, Verdict(readRatio <= 2));
    std::printf("  write %9.3f ms vs %9.3f ms (wall)  ratio %6.2f   goal <= 2   %s\n",
                Median(writes[0]) * 1e3, Median(writes[1]) * 1e3, writeBig, Verdict(writeBig <= 2));
  }

  // The first read of a 50 MB system.reg against one pass over its bytes.
  {
    std::string large = LargeSystemReg(50u << 20);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << large;
    large.clear();
    large.shrink_to_fit();
    std::vector<double> floorLarge[2], firstLarge[2];
    size_t largeLines = 0;
    for (int r = 0; r < std::max(3, rounds / 3); ++r) {
      Span t0 = Span::Now();
      largeLines = Floor(path);
      record(floorLarge, t0, Span::Now());
      Touch(path);
      t0 = Span::Now();
      if (ReadValue() != 1) std::fprintf(stderr, "wrong value in the 50 MB file\n");
      record(firstLarge, t0, Span::Now());
    }
    stat(path.c_str(), &st);
    const double f = Median(floorLarge[1]), first = Median(firstLarge[1]);
    std::printf("system.reg of %lld bytes, %zu lines:\n", static_cast<long long>(st.st_size),
                largeLines);
    std::printf("  floor %9.3f ms, first read %9.3f ms (CPU)   ratio %6.2f   goal <= 10   %s\n",
                f * 1e3, first * 1e3, first / f, Verdict(first / f <= 10));
    std::printf("  (wall: floor %.3f ms, first read %.3f ms)\n", Median(floorLarge[0]) * 1e3,
                Median(firstLarge[0]) * 1e3);
  }
  if (sink == 0xFFFFFFFEu) std::printf(" \n");
  std::system(("rm -rf '" + dir + "'").c_str());
  return 0;
}

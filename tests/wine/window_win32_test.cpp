// vantrel.exe on Wine's desktop, driven the way a user drives it: the program is started in a
// folder holding its settings file, its window and the question dialog are found by their texts,
// their buttons are pressed, and the registry and the desktop settings are read back afterwards.
//
// Needs VANTREL_EXE (the program, a Windows or a Unix path). Run from run_in_prefix.sh, which
// gives it a fresh prefix, under null_desktop.sh, which gives it a desktop without a display.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr char kMainCaption[] = "Vantrel registry settings";
constexpr char kQuestionCaption[] = "Vantrel";
constexpr char kDialogClass[] = "#32770";
constexpr char kItemsKey[] = "SOFTWARE\\Brenlo\\VantrelWineTest\\Parameters";
constexpr char kPlacementKey[] = "Software\\Brenlo\\Vantrel\\Main";
constexpr char kDragQuery[] = "--drag-full-windows";
constexpr char kCrash[] = "--crash";
constexpr DWORD kPatienceMs = 15000;

// One item of the settings file, and the value the registry holds before the program starts.
struct Item {
  const char* value;
  DWORD before;
  const char* disable;  // "N/A" deletes the value
  const char* enable;
};
const Item kItems[] = {
    {"OplocksDisabled", 0, "1", "0"},
    {"EnableOplocks", 1, "0", "1"},
    {"CachedOpenLimit", 5, "N/A", "5"},
};

// A program named by an environment variable, as a Windows path.
std::string PathFromEnvironment(const char* variable) {
  const char* env = std::getenv(variable);
  std::string path = env ? env : "";
  if (!path.empty() && path[0] == '/') {
    // A Unix path: Wine's drive Z: is the Unix root.
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
    path = "Z:" + path;
  }
  return path;
}

std::string ProgramPath() { return PathFromEnvironment("VANTREL_EXE"); }

// Runs vantrelctl.exe (VANTRELCTL_EXE) in folder with the arguments; its standard output, and
// its exit code in *code (-1 when it did not end in time).
std::string RunCtl(const std::string& folder, const std::string& arguments, long* code) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  *code = -1;
  if (!CreatePipe(&read, &write, &inherit, 0)) return {};
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  std::string command = "\"" + PathFromEnvironment("VANTRELCTL_EXE") + "\" " + arguments;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = write;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      folder.c_str(), &si, &pi);
  CloseHandle(write);
  std::string out;
  if (started) {
    char buffer[512];
    DWORD got = 0;
    while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
    if (WaitForSingleObject(pi.hProcess, kPatienceMs) == WAIT_OBJECT_0) {
      DWORD exit = 0;
      GetExitCodeProcess(pi.hProcess, &exit);
      *code = static_cast<long>(exit);
    } else {
      TerminateProcess(pi.hProcess, 1);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(read);
  return out;
}

std::string WorkFolder() {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string folder = std::string(temp) + "vantrel-window-test";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

void WriteSettingsFile(const std::string& folder) {
  std::ofstream out(folder + "\\Vantrel.xml", std::ios::binary | std::ios::trunc);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<RegistryItems>\n";
  for (const Item& item : kItems) {
    out << "  <RegistryItem>\n    <KeyName>" << kItemsKey << "</KeyName>\n    <ValueName>"
        << item.value << "</ValueName>\n    <SavedValue>N/A</SavedValue>\n    <DisableValue>"
        << item.disable << "</DisableValue>\n    <EnableValue>" << item.enable
        << "</EnableValue>\n  </RegistryItem>\n";
  }
  out << "</RegistryItems>\n";
}

void WriteStartValues() {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kItemsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  for (const Item& item : kItems) {
    ASSERT_EQ(RegSetValueExA(key, item.value, 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&item.before), sizeof item.before),
              ERROR_SUCCESS);
  }
  RegCloseKey(key);
}

// A registry value as text: a DWORD in decimal, a string as it is, "N/A" when absent.
std::string ValueText(HKEY root, const char* path, const char* name) {
  HKEY key;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "N/A";
  DWORD type = 0;
  BYTE data[256] = {};
  DWORD size = sizeof data - 1;
  const LONG rc = RegQueryValueExA(key, name, nullptr, &type, data, &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return "N/A";
  if (type == REG_DWORD) {
    DWORD number;
    std::memcpy(&number, data, sizeof number);
    return std::to_string(number);
  }
  return std::string(reinterpret_cast<char*>(data));
}

bool WaitFor(const std::function<bool()>& condition, DWORD ms = kPatienceMs) {
  for (DWORD waited = 0; waited < ms; waited += 50) {
    if (condition()) return true;
    Sleep(50);
  }
  return condition();
}

std::string Text(HWND hwnd) {
  char text[512] = {};
  GetWindowTextA(hwnd, text, sizeof text);
  return text;
}

// The first child window (at any depth) for which match is true.
HWND FindChildWhere(HWND parent, const std::function<bool(HWND)>& match) {
  struct Search {
    const std::function<bool(HWND)>& match;
    HWND found = nullptr;
  } search{match};
  EnumChildWindows(
      parent,
      [](HWND hwnd, LPARAM lp) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lp);
        if (!s->match(hwnd)) return TRUE;
        s->found = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A child window (at any depth) of class cls whose text is exactly text.
HWND FindChild(HWND parent, const std::string& cls, const std::string& text) {
  return FindChildWhere(parent, [&](HWND hwnd) {
    char name[64] = {};
    GetClassNameA(hwnd, name, sizeof name);
    return lstrcmpiA(name, cls.c_str()) == 0 && Text(hwnd) == text;
  });
}

// The top-level window of process pid with this class (any when null) and caption.
HWND FindTopLevel(DWORD pid, const char* cls, const char* caption) {
  HWND found = nullptr;
  WaitFor([&] {
    HWND hwnd = nullptr;
    while ((hwnd = FindWindowExA(nullptr, hwnd, cls, caption)) != nullptr) {
      DWORD owner = 0;
      GetWindowThreadProcessId(hwnd, &owner);
      if (owner == pid && IsWindowVisible(hwnd)) {
        found = hwnd;
        return true;
      }
    }
    return false;
  });
  return found;
}

void Press(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }

// Starts this program again with arguments; the process handle (null when it did not start).
HANDLE StartSelf(const std::string& arguments) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string command = std::string("\"") + self + "\" " + arguments;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    return nullptr;
  }
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

// The desktop's full-window dragging option as a freshly started process sees it (a process
// keeps the desktop settings it read once, so this one's own view would be stale).
int DragFullWindowsSeenByNewProcess() {
  HANDLE process = StartSelf(kDragQuery);
  if (!process) return -1;
  WaitForSingleObject(process, kPatienceMs);
  DWORD code = 99;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return static_cast<int>(code);
}

// One run of the program in the work folder.
class Program {
 public:
  explicit Program(const std::string& folder) {
    std::string command = "\"" + ProgramPath() + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    started_ = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              folder.c_str(), &si, &pi_) != 0;
    error_ = started_ ? 0 : GetLastError();
    if (started_) main_ = FindTopLevel(pi_.dwProcessId, nullptr, kMainCaption);
  }
  ~Program() {
    if (!started_) return;
    if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 1);
    CloseHandle(pi_.hThread);
    CloseHandle(pi_.hProcess);
  }
  bool Started() const { return started_; }
  DWORD Error() const { return error_; }
  DWORD Pid() const { return pi_.dwProcessId; }
  HWND Main() const { return main_; }
  // Waits for the process to end; its exit code, or -1 when it did not end in time.
  long Wait() {
    if (WaitForSingleObject(pi_.hProcess, kPatienceMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    return static_cast<long>(code);
  }
  // Presses a button of the main window, then answers the question it asks with answer.
  void AnswerQuestion(const char* button, const char* question, const char* answer) {
    HWND b = FindChild(main_, "Button", button);
    ASSERT_NE(b, nullptr) << "no button " << button;
    Press(b);
    HWND dialog = FindTopLevel(Pid(), kDialogClass, kQuestionCaption);
    ASSERT_NE(dialog, nullptr) << "no question after " << button;
    EXPECT_NE(FindChild(dialog, "Static", question), nullptr) << "the question is not " << question;
    HWND yes = FindChild(dialog, "Button", "&Yes");
    HWND no = FindChild(dialog, "Button", "&No");
    ASSERT_NE(yes, nullptr);
    ASSERT_NE(no, nullptr);
    // Neither button is the default one, and the focus starts on Yes.
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &gui));
    EXPECT_EQ(gui.hwndFocus, yes);
    EXPECT_EQ(GetWindowLongPtrA(no, GWL_STYLE) & 0xF, BS_PUSHBUTTON);
    // Escape means nothing without a Cancel button: the dialog stays.
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    Sleep(200);
    EXPECT_TRUE(IsWindow(dialog)) << "the question went away without an answer";
    Press(FindChild(dialog, "Button", answer));
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(dialog); }))
        << "the question stayed after " << answer;
  }

 private:
  PROCESS_INFORMATION pi_{};
  bool started_ = false;
  DWORD error_ = 0;
  HWND main_ = nullptr;
};

class ProgramWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = WorkFolder();
    WriteSettingsFile(folder_);
  }
  void SetUp() override {
    ASSERT_FALSE(ProgramPath().empty()) << "VANTREL_EXE is not set";
    WriteStartValues();
  }
  static std::string folder_;
};
std::string ProgramWindow::folder_;

RECT WindowRect(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return r;
}

// Disable answered with Yes writes every disable value (deleting the "N/A" one); while the window
// is open, full-window dragging is off, and it is on again once the window has closed. The
// placement goes under HKEY_CURRENT_USER and the next start restores it.
TEST_F(ProgramWindow, DisableWritesTheValuesDraggingIsRestoredAndPlacementKept) {
  ASSERT_TRUE(SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, TRUE, nullptr,
                                    SPIF_UPDATEINIFILE | SPIF_SENDCHANGE));
  ASSERT_EQ(DragFullWindowsSeenByNewProcess(), 1);
  RECT moved{};
  {
    Program program(folder_);
    ASSERT_TRUE(program.Started()) << "CreateProcess failed with error " << program.Error();
    ASSERT_NE(program.Main(), nullptr) << "no window captioned " << kMainCaption;
    EXPECT_EQ(DragFullWindowsSeenByNewProcess(), 0) << "dragging stays on while the window is open";
    // The window opens with the focus on Disable Vantrel.
    HWND disable = FindChild(program.Main(), "Button", "Disable Vantrel");
    EXPECT_TRUE(WaitFor(
        [&] {
          GUITHREADINFO gui{};
          gui.cbSize = sizeof gui;
          return GetGUIThreadInfo(GetWindowThreadProcessId(program.Main(), nullptr), &gui) &&
                 gui.hwndFocus == disable;
        },
        5000))
        << "the focus is not on Disable Vantrel";

    program.AnswerQuestion("Disable Vantrel", "Are you sure you want to disable Vantrel?", "&Yes");
    EXPECT_TRUE(WaitFor([] {
      for (const Item& item : kItems) {
        if (ValueText(HKEY_LOCAL_MACHINE, kItemsKey, item.value) != item.disable) return false;
      }
      return true;
    })) << "the disable values were not written";
    for (const Item& item : kItems) {
      EXPECT_EQ(ValueText(HKEY_LOCAL_MACHINE, kItemsKey, item.value), item.disable) << item.value;
    }

    // The user moves and widens the window, then closes it with its Close button.
    const RECT r = WindowRect(program.Main());
    SetWindowPos(program.Main(), nullptr, 37, 41, r.right - r.left + 60, r.bottom - r.top + 30,
                 SWP_NOZORDER);
    moved = WindowRect(program.Main());
    Sleep(200);
    HWND close = FindChild(program.Main(), "Button", "Close");
    ASSERT_NE(close, nullptr);
    Press(close);
    EXPECT_EQ(program.Wait(), 0) << "the program did not end after Close";
  }
  EXPECT_EQ(DragFullWindowsSeenByNewProcess(), 1) << "dragging was not switched back on";

  const char* entries[] = {"XPos", "YPos", "Width", "Height", "Maximize"};
  std::vector<std::string> saved;
  for (const char* entry : entries) {
    saved.push_back(ValueText(HKEY_CURRENT_USER, kPlacementKey, entry));
    EXPECT_NE(saved.back(), "N/A") << "no " << entry << " under HKCU\\" << kPlacementKey;
  }
  EXPECT_EQ(saved.back(), "No");

  // The next start puts the window where it was left (dialog units round to a pixel or two),
  // and closing it again saves the same placement.
  {
    Program program(folder_);
    ASSERT_NE(program.Main(), nullptr);
    // The window shows before the placement is restored: wait for it to move.
    auto placedAsLeft = [&moved](const RECT& r) {
      return std::abs(r.left - moved.left) <= 3 && std::abs(r.top - moved.top) <= 3 &&
             std::abs((r.right - r.left) - (moved.right - moved.left)) <= 3 &&
             std::abs((r.bottom - r.top) - (moved.bottom - moved.top)) <= 3;
    };
    WaitFor([&] { return placedAsLeft(WindowRect(program.Main())); }, 5000);
    const RECT again = WindowRect(program.Main());
    EXPECT_NEAR(again.left, moved.left, 3);
    EXPECT_NEAR(again.top, moved.top, 3);
    EXPECT_NEAR(again.right - again.left, moved.right - moved.left, 3);
    EXPECT_NEAR(again.bottom - again.top, moved.bottom - moved.top, 3);
    PostMessageA(program.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(program.Wait(), 0) << "the program did not end after its window's close command";
  }
  for (std::size_t i = 0; i < saved.size(); ++i) {
    EXPECT_EQ(ValueText(HKEY_CURRENT_USER, kPlacementKey, entries[i]), saved[i]) << entries[i];
  }
}

// Answering No leaves every value as it was; with dragging already off, it stays off.
TEST_F(ProgramWindow, EnableAnsweredNoWritesNothingAndDraggingStaysOff) {
  ASSERT_TRUE(SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, FALSE, nullptr,
                                    SPIF_UPDATEINIFILE | SPIF_SENDCHANGE));
  // Values that differ from the enable values, so that a write would show.
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kItemsKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  const DWORD seven = 7;
  for (const Item& item : kItems) {
    RegSetValueExA(key, item.value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seven),
                   sizeof seven);
  }
  RegCloseKey(key);
  {
    Program program(folder_);
    ASSERT_NE(program.Main(), nullptr);
    program.AnswerQuestion("Enable Vantrel", "Are you sure you want to enable Vantrel?", "&No");
    EXPECT_EQ(DragFullWindowsSeenByNewProcess(), 0);
    Press(FindChild(program.Main(), "Button", "Close"));
    EXPECT_EQ(program.Wait(), 0);
  }
  for (const Item& item : kItems) {
    EXPECT_EQ(ValueText(HKEY_LOCAL_MACHINE, kItemsKey, item.value), "7") << item.value;
  }
  EXPECT_EQ(DragFullWindowsSeenByNewProcess(), 0);
}

// Where a child window stands in its top-level window's client area.
RECT ClientRectOf(HWND main, HWND child) {
  RECT r = WindowRect(child);
  MapWindowPoints(HWND_DESKTOP, main, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// Another program makes the window larger: the list grows with it, the buttons keep their place
// against the bottom edge and Close against the bottom-right corner. Smaller than it opened it
// cannot be made, and it tells the system so (WM_GETMINMAXINFO).
TEST_F(ProgramWindow, ControlsFollowTheWindowsSizeWhichHasAMinimum) {
  // Opened at its described size: no placement from an earlier test.
  RegDeleteKeyA(HKEY_CURRENT_USER, kPlacementKey);
  Program program(folder_);
  ASSERT_TRUE(program.Started()) << "CreateProcess failed with error " << program.Error();
  HWND main = program.Main();
  ASSERT_NE(main, nullptr) << "no window captioned " << kMainCaption;
  HWND list = FindWindowExA(main, nullptr, "VantrelList", nullptr);
  HWND disable = FindChild(main, "Button", "Disable Vantrel");
  HWND close = FindChild(main, "Button", "Close");
  ASSERT_NE(list, nullptr);
  ASSERT_NE(disable, nullptr);
  ASSERT_NE(close, nullptr);
  const RECT opened = WindowRect(main);
  const RECT list0 = ClientRectOf(main, list);
  const RECT disable0 = ClientRectOf(main, disable);
  const RECT close0 = ClientRectOf(main, close);

  // Asynchronous: the request goes to the program's thread, and a hang there shows as a wait
  // that runs out rather than as a call that never returns.
  auto resize = [main, &opened](int width, int height) {
    return SetWindowPos(main, nullptr, opened.left, opened.top, width, height,
                        SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
  };
  constexpr int dx = 160, dy = 90;
  ASSERT_TRUE(resize(opened.right - opened.left + dx, opened.bottom - opened.top + dy));
  EXPECT_TRUE(WaitFor([&] { return ClientRectOf(main, close).left == close0.left + dx; }, 5000))
      << "Close did not move with the window's right edge";
  const RECT list1 = ClientRectOf(main, list);
  EXPECT_EQ(list1.left, list0.left);
  EXPECT_EQ(list1.top, list0.top);
  EXPECT_EQ(list1.right, list0.right + dx) << "the list did not grow with the window";
  EXPECT_EQ(list1.bottom, list0.bottom + dy);
  const RECT disable1 = ClientRectOf(main, disable);
  EXPECT_EQ(disable1.left, disable0.left);
  EXPECT_EQ(disable1.top, disable0.top + dy) << "Disable Vantrel did not keep to the bottom edge";
  const RECT close1 = ClientRectOf(main, close);
  EXPECT_EQ(close1.left, close0.left + dx);
  EXPECT_EQ(close1.top, close0.top + dy);

  // Made small: it keeps the size it opened with, and so do its controls.
  ASSERT_TRUE(resize(150, 100));
  EXPECT_TRUE(WaitFor([&] { return ClientRectOf(main, close).left == close0.left; }, 5000));
  const RECT shrunk = WindowRect(main);
  EXPECT_EQ(shrunk.right - shrunk.left, opened.right - opened.left);
  EXPECT_EQ(shrunk.bottom - shrunk.top, opened.bottom - opened.top);
  const RECT list2 = ClientRectOf(main, list);
  EXPECT_EQ(list2.right, list0.right);
  EXPECT_EQ(list2.bottom, list0.bottom);
  MINMAXINFO info{};
  SendMessageTimeoutA(main, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info), SMTO_ABORTIFHUNG,
                      kPatienceMs, nullptr);
  EXPECT_EQ(info.ptMinTrackSize.x, opened.right - opened.left);
  EXPECT_EQ(info.ptMinTrackSize.y, opened.bottom - opened.top);

  Press(close);
  EXPECT_EQ(program.Wait(), 0) << "the program did not end after Close";
}

// Sets the prefix to Windows 10: winecfg sets the version Wine reports and the registry's values
// together. The window cases before the first caller run on the prefix's own default.
void SetPrefixToWindows10() {
  std::string command = "winecfg.exe /v win10";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &si, &pi))
      << "cannot start winecfg: error " << GetLastError();
  const DWORD waited = WaitForSingleObject(pi.hProcess, 60000);
  if (waited != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  ASSERT_EQ(waited, WAIT_OBJECT_0) << "winecfg /v win10 did not end within 60 s";
  ASSERT_EQ(ValueText(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion",
                      "CurrentMajorVersionNumber"),
            "10");
}

// Under a Windows 10 prefix the Info tab names Windows 10 with the build the registry holds, and
// vantrelctl.exe names the system alike. Without the manifests' entry for Windows 10 the system
// claims to be Windows 8 (6.2, build 9200) to a program: vantrelctl.exe had none, and said
// "Windows 7 Business/Ultimate Build 9200" where the window said Windows 10.
TEST_F(ProgramWindow, InfoTabAndVantrelctlNameWindows10UnderAWindows10Prefix) {
  SetPrefixToWindows10();
  const char* kCurrent = "Software\\Microsoft\\Windows NT\\CurrentVersion";
  const std::string build = ValueText(HKEY_LOCAL_MACHINE, kCurrent, "CurrentBuildNumber");
  const std::string name = std::stoul(build) >= 22000 ? "11" : "10";

  Program program(folder_);
  ASSERT_NE(program.Main(), nullptr);
  // The window shows before it fills the text: wait for it.
  HWND os = nullptr;
  WaitFor(
      [&] {
        os = FindChildWhere(program.Main(),
                            [](HWND h) { return Text(h).rfind("Windows ", 0) == 0; });
        return os != nullptr;
      },
      5000);
  ASSERT_NE(os, nullptr) << "no text naming the system";
  EXPECT_EQ(Text(os), "Windows " + name + " Build " + build);
  long code = 0;
  // Standard output in text mode: the line ends in CR LF.
  EXPECT_EQ(RunCtl(folder_, "os", &code), Text(os) + "\r\n");
  EXPECT_EQ(code, 0);
  PostMessageA(program.Main(), WM_CLOSE, 0, 0);
  EXPECT_EQ(program.Wait(), 0);
}

// On Windows 10 "Disable Vantrel" asks its usual question; answered Yes, it shows the row's
// error message with the reason for a value that switches SMB 2 off, and writes the other rows.
TEST_F(ProgramWindow, DisableRefusesSmb2OffOnWindows10AndWritesTheOtherRows) {
  SetPrefixToWindows10();
  const char* kServer = "SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters";
  RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kServer, "Smb2");
  const std::string folder = WorkFolder() + "\\legacy";
  CreateDirectoryA(folder.c_str(), nullptr);
  {
    std::ofstream out(folder + "\\Vantrel.xml", std::ios::binary | std::ios::trunc);
    out << "<?xml version=\"1.0\"?>\n<RegistryItems>\n"
        << "<RegistryItem><KeyName>" << kServer << "</KeyName><ValueName>Smb2</ValueName>"
        << "<SavedValue>N/A</SavedValue><DisableValue>0</DisableValue><EnableValue>1</EnableValue>"
        << "</RegistryItem>\n<RegistryItem><KeyName>" << kItemsKey << "</KeyName>"
        << "<ValueName>OplocksDisabled</ValueName><SavedValue>N/A</SavedValue>"
        << "<DisableValue>1</DisableValue><EnableValue>0</EnableValue></RegistryItem>\n"
        << "</RegistryItems>\n";
  }
  Program program(folder);
  ASSERT_NE(program.Main(), nullptr);
  program.AnswerQuestion("Disable Vantrel", "Are you sure you want to disable Vantrel?", "&Yes");
  HWND error = FindTopLevel(program.Pid(), kDialogClass, "Error");
  ASSERT_NE(error, nullptr) << "no error message for the Smb2 row";
  HWND text = FindChildWhere(error, [](HWND h) {
    return Text(h).rfind(
               "Error writing SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\"
               "Parameters to registry,",
               0) == 0;
  });
  ASSERT_NE(text, nullptr) << "the message is not the row's own";
  EXPECT_NE(Text(text).find("Smb2 = 0 switches SMB 2 and 3 off"), std::string::npos) << Text(text);
  HWND ok = FindChildWhere(error, [](HWND h) {
    char name[64] = {};
    GetClassNameA(h, name, sizeof name);
    return lstrcmpiA(name, "Button") == 0;
  });
  ASSERT_NE(ok, nullptr);
  Press(ok);
  EXPECT_TRUE(WaitFor([&] {
    return ValueText(HKEY_LOCAL_MACHINE, kItemsKey, "OplocksDisabled") == "1";
  })) << "the other row was not written";
  EXPECT_EQ(ValueText(HKEY_LOCAL_MACHINE, kServer, "Smb2"), "N/A") << "Smb2 = 0 was written";
  PostMessageA(program.Main(), WM_CLOSE, 0, 0);
  EXPECT_EQ(program.Wait(), 0);
}

// The test prefix has no crash debugger: a Windows program that crashes ends at once, its
// exception its exit code, instead of waiting for a debugger nobody answers (which held a whole
// test run until its time limit).
TEST(TestPrefix, ACrashingProgramEndsWithoutWaitingForADebugger) {
  HANDLE process = StartSelf(kCrash);
  ASSERT_NE(process, nullptr) << "CreateProcess failed with error " << GetLastError();
  const DWORD waited = WaitForSingleObject(process, kPatienceMs);
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  if (waited != WAIT_OBJECT_0) TerminateProcess(process, 1);
  CloseHandle(process);
  ASSERT_EQ(waited, WAIT_OBJECT_0)
      << "the crashed program was still there after " << kPatienceMs << " ms";
  EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
}

// The program's resources: the icon the window and the shell show, and the manifest asking for
// elevation and for version 6 of the common controls on the supported systems.
// A program's manifest resource (1, RT_MANIFEST), or "" when it has none.
std::string ManifestOf(const std::string& path) {
  HMODULE program = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (program == nullptr) return {};
  std::string manifest;
  if (HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24))) {
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(program, found)));
    manifest.assign(bytes, SizeofResource(program, found));
  }
  FreeLibrary(program);
  return manifest;
}

// Every system the programs know by name: a system missing here reports itself as Windows 8.
const char* const kSupportedSystems[] = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Windows Vista
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // Windows 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // Windows 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // Windows 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // Windows 10 and 11
};

// The program's resources: the icon the window and the shell show, and the manifest asking for
// elevation and for version 6 of the common controls on the supported systems.
TEST(ProgramResources, HoldTheIconAndTheManifest) {
  HMODULE program = LoadLibraryExA(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(program, nullptr) << "cannot read " << ProgramPath();
  HANDLE icon = LoadImageA(program, "VANTREL", IMAGE_ICON, 32, 32, 0);
  EXPECT_NE(icon, nullptr) << "no icon VANTREL";
  if (icon) DestroyIcon(static_cast<HICON>(icon));
  FreeLibrary(program);
  const std::string manifest = ManifestOf(ProgramPath());
  ASSERT_FALSE(manifest.empty()) << "no application manifest";
  const char* wanted[] = {
      "level=\"requireAdministrator\" uiAccess=\"false\"",
      "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
      "processorArchitecture=\"*\" publicKeyToken=\"6595b64144ccf1df\"",
  };
  for (const char* text : wanted) EXPECT_NE(manifest.find(text), std::string::npos) << text;
  for (const char* id : kSupportedSystems) EXPECT_NE(manifest.find(id), std::string::npos) << id;
}

// vantrelctl.exe names the same systems; it runs as the prompt that started it.
TEST(ProgramResources, VantrelctlHasTheSupportedSystemsAndNoElevation) {
  const std::string manifest = ManifestOf(PathFromEnvironment("VANTRELCTL_EXE"));
  ASSERT_FALSE(manifest.empty()) << "vantrelctl.exe has no application manifest";
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  for (const char* id : kSupportedSystems) EXPECT_NE(manifest.find(id), std::string::npos) << id;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == kDragQuery) {
    BOOL on = FALSE;
    if (!SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &on, 0)) return 2;
    return on ? 1 : 0;
  }
  if (argc > 1 && std::string(argv[1]) == kCrash) {
    RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr);  // unhandled: ends the process
    return 3;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

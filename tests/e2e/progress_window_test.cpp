// The progress window of a long first start, as a user sees it: with_display.sh runs the suite
// ProgressWindowOnADisplay under a virtual display and ProgressWindowWithoutADisplay with none.
// Every start here is made long: the test holds the target directory's lock until the launcher
// is older than the window's delay, and the start then writes 256 MiB. The program reports the
// launcher's windows from before it shows its own (report_child's --parent-windows).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "diagnostics/progress_window.h"
#include "payload/target_lock.h"
#include "tests/e2e/e2e_support.h"

namespace {

constexpr wchar_t kProduct[] = L"Tessaline \u00dcn\u00efcode";
constexpr wchar_t kMessageBoxClass[] = L"#32770";
constexpr DWORD kPollMs = 10;
// The bound of every poll, generous for a busy machine: a sound launcher takes seconds.
constexpr ULONGLONG kMostMs = 120000;
// How long a program waits for the launcher's window before it shows its own: where one is due.
constexpr wchar_t kAwaitWindow[] = L"60000";
constexpr wchar_t kLookOnce[] = L"0";

struct TopWindow {
  HWND handle;
  std::wstring title;
  std::wstring className;
};

// The visible top-level windows of the process `id`.
std::vector<TopWindow> visibleWindowsOf(DWORD id) {
  struct Search {
    DWORD id;
    std::vector<TopWindow> found;
  } search{id, {}};
  EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        auto* search = reinterpret_cast<Search*>(context);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == search->id && IsWindowVisible(window)) {
          wchar_t title[256] = L"", className[256] = L"";
          GetWindowTextW(window, title, 256);
          GetClassNameW(window, className, 256);
          search->found.push_back({window, title, className});
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The texts of the controls of `window`, each followed by "|".
std::wstring controlTexts(HWND window) {
  std::wstring texts;
  EnumChildWindows(
      window,
      [](HWND control, LPARAM context) -> BOOL {
        wchar_t text[1024] = L"";
        GetWindowTextW(control, text, 1024);
        *reinterpret_cast<std::wstring*>(context) += std::wstring(text) + L"|";
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&texts));
  return texts;
}

ULONGLONG fileTimeMs(const FILETIME& time) {
  return (ULONGLONG{time.dwHighDateTime} << 32 | time.dwLowDateTime) / 10000;
}

ULONGLONG ageMs(HANDLE process) {
  FILETIME created, exited, kernel, user, now;
  GetProcessTimes(process, &created, &exited, &kernel, &user);
  GetSystemTimeAsFileTime(&now);
  return fileTimeMs(now) - fileTimeMs(created);
}

// One start of a launcher, its standard output in a file (or without any standard handle, so
// that a windowed launcher shows its fatal line in a message box), TMP and TEMP at `temp`, and
// the lock of its target `target` held until it is older than twice the window's delay.
struct Start {
  PROCESS_INFORMATION process{};
  std::wstring output;
};

Start startLong(const std::wstring& name, const std::wstring& temp, const std::wstring& target,
                const std::vector<std::wstring>& arguments, bool withOutput = true) {
  wchar_t lockName[kLockNameUnits];
  formatTargetLockName((temp + target).c_str(), lockName);
  HANDLE lock = CreateMutexW(nullptr, /* owned */ TRUE, lockName);
  EXPECT_NE(lock, nullptr);
  Start start;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, /* inherit */ TRUE};
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  if (withOutput) {
    start.output = temp + L"\\" + uniqueName(L"output-") + L".txt";
    startup.hStdOutput = CreateFileW(start.output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                     CREATE_ALWAYS, 0, nullptr);
  }
  SetEnvironmentVariableW(L"TMP", temp.c_str());
  SetEnvironmentVariableW(L"TEMP", temp.c_str());
  std::wstring line = commandLine(quoteArgument(launcherPath(name)), arguments);
  EXPECT_TRUE(CreateProcessW(launcherPath(name).c_str(), line.data(), nullptr, nullptr,
                             /* inherit handles */ TRUE, 0, nullptr, nullptr, &startup,
                             &start.process))
      << GetLastError();
  if (startup.hStdOutput != nullptr)
    CloseHandle(startup.hStdOutput);
  for (ULONGLONG end = GetTickCount64() + kMostMs;
       ageMs(start.process.hProcess) < 2 * kProgressDelayMilliseconds && GetTickCount64() < end;)
    Sleep(kPollMs);
  ReleaseMutex(lock);
  CloseHandle(lock);
  return start;
}

uint32_t finish(const Start& start) {
  EXPECT_EQ(WaitForSingleObject(start.process.hProcess, static_cast<DWORD>(kMostMs)),
            WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(start.process.hProcess, &code);
  CloseHandle(start.process.hProcess);
  CloseHandle(start.process.hThread);
  return code;
}

// A long start whose program shows a window: watched until that window is up and then until the
// launcher shows no window; then the program's window is closed.
struct Watched {
  bool sawLauncherWindow = false;  // any visible window of the launcher, at any time
  bool goneWhileProgramUp = false;
  uint32_t exitCode = 0;
  Report report;
};

Watched watchStart(const std::wstring& name, const std::wstring& temp, const std::wstring& target,
                   const wchar_t* awaitWindow) {
  const std::wstring title = uniqueName(L"program window ");
  Start start =
      startLong(name, temp, target, {L"--parent-windows", awaitWindow, L"--window", title});
  const DWORD launcher = start.process.dwProcessId;
  Watched watched;
  HWND program = nullptr;
  for (ULONGLONG end = GetTickCount64() + kMostMs; program == nullptr && GetTickCount64() < end;
       Sleep(kPollMs)) {
    watched.sawLauncherWindow |= !visibleWindowsOf(launcher).empty();
    program = FindWindowW(nullptr, title.c_str());
  }
  EXPECT_NE(program, nullptr) << "the program showed no window";
  for (ULONGLONG end = GetTickCount64() + kMostMs;
       !visibleWindowsOf(launcher).empty() && GetTickCount64() < end;)
    Sleep(kPollMs);
  watched.goneWhileProgramUp = visibleWindowsOf(launcher).empty() && IsWindow(program);
  PostMessageW(program, WM_CLOSE, 0, 0);
  watched.exitCode = finish(start);
  watched.report = parseReport(readWholeFile(start.output).value_or(""));
  return watched;
}

}  // namespace

// The window is up before the program's, titled with the product, and gone once the program's
// window is; a second start, which writes nothing, shows none however long it takes.
TEST(ProgressWindowOnADisplay, ShowsALongFirstStartUntilTheProgramsWindowIsUp) {
  const std::wstring temp = freshTemp();
  Watched first = watchStart(L"long_windowed", temp, L"\\e2e\\long-windowed", kAwaitWindow);
  EXPECT_EQ(first.exitCode, 0u);
  EXPECT_EQ(first.report.parentWindows, std::wstring(kProduct) + L"|");
  EXPECT_TRUE(first.goneWhileProgramUp);

  Watched second = watchStart(L"long_windowed", temp, L"\\e2e\\long-windowed", kLookOnce);
  EXPECT_EQ(second.exitCode, 0u);
  EXPECT_EQ(second.report.parentWindows, L"");
  EXPECT_FALSE(second.sawLauncherWindow);
}

TEST(ProgressWindowOnADisplay, IsNeverShownByAConsoleLauncher) {
  Watched watched = watchStart(L"long_console", freshTemp(), L"\\e2e\\long-console", kLookOnce);
  EXPECT_EQ(watched.exitCode, 0u);
  EXPECT_EQ(watched.report.parentWindows, L"");
  EXPECT_FALSE(watched.sawLauncherWindow);
}

// A windowed launcher without standard handles shows its fatal line in a message box: the
// progress window, up until then, is gone before the box appears.
TEST(ProgressWindowOnADisplay, LeavesAFatalMessageBoxAlone) {
  Start start = startLong(L"long_unstartable", freshTemp(), L"\\e2e\\long-unstartable", {},
                          /* output */ false);
  const DWORD launcher = start.process.dwProcessId;
  bool sawProgress = false;
  HWND box = nullptr;
  std::vector<TopWindow> beside;
  for (ULONGLONG end = GetTickCount64() + kMostMs; box == nullptr && GetTickCount64() < end;
       Sleep(kPollMs)) {
    beside.clear();
    for (const TopWindow& window : visibleWindowsOf(launcher)) {
      if (window.className == kMessageBoxClass)
        box = window.handle;
      else
        beside.push_back(window);
    }
    sawProgress |= box == nullptr && !beside.empty();
  }
  ASSERT_NE(box, nullptr) << "no message box";
  EXPECT_TRUE(sawProgress);
  EXPECT_TRUE(beside.empty()) << "a window beside the message box: "
                              << narrow(beside.empty() ? L"" : beside[0].title);
  wchar_t title[256] = L"";
  GetWindowTextW(box, title, 256);
  EXPECT_EQ(std::wstring(title), kProduct);
  EXPECT_NE(controlTexts(box).find(L"Error, couldn't launch child ([Error "), std::wstring::npos)
      << narrow(controlTexts(box));
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(finish(start), kLauncherFailureStatus);
}

// Where no window can be made at all, the start goes on as without the window.
TEST(ProgressWindowWithoutADisplay, LeavesALongFirstStartAsItIsWithoutIt) {
  Start start =
      startLong(L"long_windowed", freshTemp(), L"\\e2e\\long-windowed", {L"--exit", L"7"});
  EXPECT_EQ(finish(start), 7u);
  Report report = parseReport(readWholeFile(start.output).value_or(""));
  EXPECT_NE(report.module.find(L"\\e2e\\long-windowed\\report.exe"), std::wstring::npos);
}

// The child of the end-to-end launchers: reports what it received (command line and its
// arguments as both the C runtime and CommandLineToArgvW split it, module path, current
// directory, environment, start-up information, parent), then does as its arguments ask.
//
// Options, after the launcher's own path: --exit N, --crash, --sleep MS, --ignore-interrupts,
// --stderr TEXT, --spawn (starts itself with --sleep 600000 and reports "grandchild=<pid>"),
// --load NAME (loads the DLL NAME of its own folder and reports "loaded=" and what its
// tarnicTestVersion returns), --hold PATH (writes the file PATH.ready, then runs until a file
// PATH exists), --parent-windows MS (waits up to MS milliseconds for a visible window of the
// launcher, then reports "parentwindows=" and the titles of its visible windows, each followed
// by "|"), --window TITLE (shows a window titled TITLE and runs until it is closed).
// Every report line is "key=value"; text that may hold any character is given as the hex
// digits of its UTF-8 bytes. The same source builds a console and a GUI program.
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char* const kVariables[] = {
    "TARNIC_ONEFILE_PARENT", "TARNIC_ONEFILE_DIRECTORY", "TARNIC_ONEFILE_TARGET",
    "TARNIC_ORIGINAL_ARGV0", "TARNIC_ONEFILE_START",     "TARNIC_ONEFILE_TIME_US",
    "TARNIC_ONEFILE_RANDOM", "TARNIC_E2E_MARKER",
};

std::string utf8(const std::wstring& text) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                  0, nullptr, nullptr);
  std::string out(bytes, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes,
                      nullptr, nullptr);
  return out;
}

std::string hex(const std::wstring& text) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char byte : utf8(text)) {
    out += digits[byte >> 4];
    out += digits[byte & 15];
  }
  return out;
}

void report(const char* key, const std::wstring& value) {
  printf("%s=%s\n", key, hex(value).c_str());
}

DWORD parentProcessId() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  DWORD parent = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    if (entry.th32ProcessID == GetCurrentProcessId())
      parent = entry.th32ParentProcessID;
  CloseHandle(snapshot);
  return parent;
}

void reportReceived(int count, wchar_t** arguments, int runtimeCount, wchar_t** runtimeArguments) {
  wchar_t buffer[32768];
  GetModuleFileNameW(nullptr, buffer, 32768);
  report("module", buffer);
  GetCurrentDirectoryW(32768, buffer);
  report("cwd", buffer);
  report("commandline", GetCommandLineW());
  for (int i = 0; i < count; ++i)
    report("arg", arguments[i]);
  for (int i = 0; i < runtimeCount; ++i)
    report("crtarg", runtimeArguments[i]);
  for (const char* name : kVariables) {
    std::wstring wide(name, name + strlen(name));
    DWORD length = GetEnvironmentVariableW(wide.c_str(), buffer, 32768);
    printf("env.%s=%s\n", name, length == 0 ? "unset" : hex(buffer).c_str());
  }
  STARTUPINFOW startup{};
  GetStartupInfoW(&startup);
  printf("startup=%lx,%u,%s\n", startup.dwFlags, startup.wShowWindow,
         hex(startup.lpTitle != nullptr ? startup.lpTitle : L"").c_str());
  // A process attached to a console can open its screen buffer; one without cannot.
  HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  printf("console=%d\n", console != INVALID_HANDLE_VALUE);
  if (console != INVALID_HANDLE_VALUE)
    CloseHandle(console);
  printf("pid=%lu\n", GetCurrentProcessId());
  printf("parent=%lu\n", parentProcessId());
  fflush(stdout);
}

// Handles every console event by doing nothing, so the process runs on.
BOOL WINAPI ignoreEvent(DWORD) {
  return TRUE;
}

// A process of the child's own, which nothing ties to the launcher.
void spawnGrandchild() {
  wchar_t self[32768];
  GetModuleFileNameW(nullptr, self, 32768);
  std::wstring line = L"\"" + std::wstring(self) + L"\" --sleep 600000";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (CreateProcessW(self, line.data(), nullptr, nullptr, /* inherit handles */ FALSE, 0, nullptr,
                     nullptr, &startup, &started)) {
    printf("grandchild=%lu\n", started.dwProcessId);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
  }
  fflush(stdout);
}

// Loads a DLL of the application, which then stays in use as long as this process runs.
void loadLibrary(const wchar_t* name) {
  wchar_t path[32768];
  GetModuleFileNameW(nullptr, path, 32768);
  std::wstring folder(path);
  folder.resize(folder.rfind(L'\\') + 1);
  HMODULE library = LoadLibraryW((folder + name).c_str());
  auto version =
      library == nullptr
          ? nullptr
          : reinterpret_cast<const char* (*)()>(GetProcAddress(library, "tarnicTestVersion"));
  printf("loaded=%s\n", version == nullptr ? "nothing" : version());
  fflush(stdout);
}

// Tells that it runs by a file of its own, and runs until the test makes the file it waits for:
// the test decides how long, not a time.
void holdUntil(const wchar_t* path) {
  HANDLE ready = CreateFileW((std::wstring(path) + L".ready").c_str(), GENERIC_WRITE, 0, nullptr,
                             CREATE_ALWAYS, 0, nullptr);
  CloseHandle(ready);
  constexpr DWORD kPollMs = 20;
  constexpr DWORD kMostPolls = 30000;
  for (DWORD poll = 0; poll < kMostPolls && GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES;
       ++poll)
    Sleep(kPollMs);
}

// The titles of the visible top-level windows of the process `id`, each followed by "|".
std::wstring visibleWindowTitles(DWORD id) {
  struct Search {
    DWORD id;
    std::wstring titles;
  } search{id, L""};
  EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        auto* search = reinterpret_cast<Search*>(context);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t title[256] = L"";
        if (owner == search->id && IsWindowVisible(window)) {
          GetWindowTextW(window, title, 256);
          search->titles += std::wstring(title) + L"|";
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.titles;
}

// Waits, polling, up to `most` milliseconds for the launcher to show a window, before this
// program shows any, and reports what it shows.
void reportParentWindows(const wchar_t* most) {
  wchar_t parent[16] = L"0";
  GetEnvironmentVariableW(L"TARNIC_ONEFILE_PARENT", parent, 16);
  const DWORD id = wcstoul(parent, nullptr, 10);
  constexpr DWORD kPollMs = 10;
  const ULONGLONG end = GetTickCount64() + wcstoul(most, nullptr, 10);
  while (visibleWindowTitles(id).empty() && GetTickCount64() < end)
    Sleep(kPollMs);
  report("parentwindows", visibleWindowTitles(id));
  fflush(stdout);
}

LRESULT CALLBACK closeOnDestroy(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY)
    PostQuitMessage(0);
  return DefWindowProcW(window, message, wParam, lParam);
}

// A window of its own, as a desktop program shows one once it has started; runs until the
// window is closed.
void showWindowUntilClosed(const wchar_t* title) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = closeOnDestroy;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"TarnicReportChild";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(0, windowClass.lpszClassName, title,
                                WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, 320,
                                200, nullptr, nullptr, windowClass.hInstance, nullptr);
  printf("window=%d\n", window != nullptr);
  fflush(stdout);
  for (MSG message; window != nullptr && GetMessageW(&message, nullptr, 0, 0) > 0;)
    DispatchMessageW(&message);
}

}  // namespace

int wmain(int runtimeCount, wchar_t** runtimeArguments) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  reportReceived(count, arguments, runtimeCount, runtimeArguments);
  for (int i = 1; i < count; ++i) {
    std::wstring option = arguments[i];
    const wchar_t* value = i + 1 < count ? arguments[i + 1] : L"0";
    if (option == L"--stderr")
      fprintf(stderr, "%s\n", utf8(value).c_str());
    if (option == L"--ignore-interrupts")
      SetConsoleCtrlHandler(ignoreEvent, TRUE);
    if (option == L"--spawn")
      spawnGrandchild();
    if (option == L"--load")
      loadLibrary(value);
    if (option == L"--hold")
      holdUntil(value);
    if (option == L"--parent-windows")
      reportParentWindows(value);
    if (option == L"--window")
      showWindowUntilClosed(value);
    if (option == L"--sleep")
      Sleep(wcstoul(value, nullptr, 10));
    if (option == L"--crash")
      *static_cast<volatile int*>(nullptr) = 0;
    if (option == L"--exit")
      ExitProcess(wcstoul(value, nullptr, 10));
  }
  return 0;
}

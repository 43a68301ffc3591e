// A windowed launcher started from the desktop shows nothing until its program's window
// appears: on a long first start that is seconds of a blank wait. When its options ask for it,
// a start that still unpacks kProgressDelayMilliseconds after the process began shows a small
// window instead: the product name as its title, the application's icon, one line and a bar of
// the bytes written. user32, gdi32 and comctl32 are loaded only then, on the window's thread,
// and every function is looked up by name, so that none of them enters the launcher's imports.
// Every failure on that thread ends the window, never the start.
#include "diagnostics/progress_window.h"

#include <commctrl.h>
#include <windows.h>

#include <atomic>
#include <cwchar>

#include "configuration/launcher_values.h"
#include "rules/image_descriptor.h"
#include "rules/path_limits.h"

namespace {

// How often the window shows the bytes written and looks at the program.
constexpr DWORD kRefreshMilliseconds = 50;
// How long the window waits at most for the started program to be ready for input: a program
// that never reads input (a console program, one that shows nothing) must not keep it up.
constexpr ULONGLONG kReadyBoundMilliseconds = 5000;
// How long a fatal message waits at most for the window to be gone before it shows its own.
constexpr DWORD kCloseBoundMilliseconds = 2000;
// The bar's range: fine enough for any number of bytes to move it smoothly.
constexpr int kBarSteps = 1000;
constexpr ULONGLONG kFileTimeUnitsPerMillisecond = 10000;
// The layout at 96 dots per inch, scaled to the screen's: the icon at the left, the line and
// the bar beside it.
constexpr int kBaseDpi = 96;
constexpr int kMargin = 16;
constexpr int kIconSize = 32;
constexpr int kSmallIconSize = 16;
constexpr int kColumn = kMargin + kIconSize + 12;
constexpr int kColumnWidth = 300;
constexpr int kLineTop = 14;
constexpr int kLineHeight = 20;
constexpr int kBarTop = 38;
constexpr int kBarHeight = 14;
constexpr int kClientWidth = kColumn + kColumnWidth + kMargin;
constexpr int kClientHeight = kMargin + kIconSize + kMargin;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr wchar_t kClassName[] = L"TarnicProgressWindow";
constexpr wchar_t kLineStart[] = L"Preparing ";
constexpr wchar_t kLineEnd[] = L"\u2026";
// The line: its two parts around a product name of at most kPathUnits - 1 units.
constexpr size_t kLineUnits = sizeof kLineStart / sizeof(wchar_t) + kPathUnits;
// The application's icon group, as the packer writes it into every launcher.
constexpr WORD kIconGroup = 1;

// What the launcher's main thread has told the window's thread.
enum Phase : int { kUnpacking, kProgramStarted, kClosing };

std::atomic<uint64_t> bytesToWrite;
std::atomic<uint64_t> bytesWritten;
std::atomic<int> phase{kUnpacking};
std::atomic<HANDLE> windowThread;
// Set at every change of phase.
HANDLE wake;
// Written before the phase becomes kProgramStarted: the program's process, a handle of the
// window's own (or null when none could be made), and when it started.
HANDLE program;
ULONGLONG programStartedAt;

wchar_t line[kLineUnits];

// The functions of user32, gdi32 and comctl32 the window calls, found by name on its thread.
decltype(&RegisterClassExW) registerClassEx;
decltype(&CreateWindowExW) createWindowEx;
decltype(&DefWindowProcW) defWindowProc;
decltype(&DestroyWindow) destroyWindow;
decltype(&SetWindowPos) setWindowPos;
decltype(&SendMessageW) sendMessage;
decltype(&PeekMessageW) peekMessage;
decltype(&DispatchMessageW) dispatchMessage;
decltype(&MsgWaitForMultipleObjects) msgWaitForMultipleObjects;
decltype(&WaitForInputIdle) waitForInputIdle;
decltype(&LoadImageW) loadImage;
decltype(&LoadCursorW) loadCursor;
decltype(&GetSysColorBrush) getSysColorBrush;
decltype(&GetForegroundWindow) getForegroundWindow;
decltype(&MonitorFromWindow) monitorFromWindow;
decltype(&GetMonitorInfoW) getMonitorInfo;
decltype(&GetDpiForWindow) getDpiForWindow;
decltype(&AdjustWindowRectExForDpi) adjustWindowRectExForDpi;
decltype(&SystemParametersInfoForDpi) systemParametersInfoForDpi;
decltype(&CreateFontIndirectW) createFontIndirect;
decltype(&DeleteObject) deleteObject;
decltype(&InitCommonControlsEx) initCommonControlsEx;

template <typename Function>
bool findFunction(HMODULE module, const char* name, Function* function) {
  FARPROC address = module != nullptr ? GetProcAddress(module, name) : nullptr;
  *function = reinterpret_cast<Function>(reinterpret_cast<void*>(address));
  return address != nullptr;
}

// The DPI functions are those of Windows 10 and later: without them there is no window.
bool findUserFunctions() {
  HMODULE user32 = LoadLibraryW(L"user32.dll");
  return findFunction(user32, "RegisterClassExW", &registerClassEx) &&
         findFunction(user32, "CreateWindowExW", &createWindowEx) &&
         findFunction(user32, "DefWindowProcW", &defWindowProc) &&
         findFunction(user32, "DestroyWindow", &destroyWindow) &&
         findFunction(user32, "SetWindowPos", &setWindowPos) &&
         findFunction(user32, "SendMessageW", &sendMessage) &&
         findFunction(user32, "PeekMessageW", &peekMessage) &&
         findFunction(user32, "DispatchMessageW", &dispatchMessage) &&
         findFunction(user32, "MsgWaitForMultipleObjects", &msgWaitForMultipleObjects) &&
         findFunction(user32, "WaitForInputIdle", &waitForInputIdle) &&
         findFunction(user32, "LoadImageW", &loadImage) &&
         findFunction(user32, "LoadCursorW", &loadCursor) &&
         findFunction(user32, "GetSysColorBrush", &getSysColorBrush) &&
         findFunction(user32, "GetForegroundWindow", &getForegroundWindow) &&
         findFunction(user32, "MonitorFromWindow", &monitorFromWindow) &&
         findFunction(user32, "GetMonitorInfoW", &getMonitorInfo) &&
         findFunction(user32, "GetDpiForWindow", &getDpiForWindow) &&
         findFunction(user32, "AdjustWindowRectExForDpi", &adjustWindowRectExForDpi) &&
         findFunction(user32, "SystemParametersInfoForDpi", &systemParametersInfoForDpi);
}

bool findFunctions() {
  if (!findUserFunctions()) {
    return false;
  }
  HMODULE gdi32 = LoadLibraryW(L"gdi32.dll");
  HMODULE comctl32 = LoadLibraryW(L"comctl32.dll");
  return findFunction(gdi32, "CreateFontIndirectW", &createFontIndirect) &&
         findFunction(gdi32, "DeleteObject", &deleteObject) &&
         findFunction(comctl32, "InitCommonControlsEx", &initCommonControlsEx);
}

ULONGLONG fileTimeUnits(const FILETIME& time) {
  return ULONGLONG{time.dwHighDateTime} << 32 | time.dwLowDateTime;
}

// Milliseconds until the process is kProgressDelayMilliseconds old: 0 when it is older, the
// whole delay when its age cannot be read.
DWORD millisecondsUntilDue() {
  FILETIME created, exited, kernel, user, now;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
    return kProgressDelayMilliseconds;
  }
  GetSystemTimeAsFileTime(&now);
  const ULONGLONG age =
      fileTimeUnits(now) > fileTimeUnits(created)
          ? (fileTimeUnits(now) - fileTimeUnits(created)) / kFileTimeUnitsPerMillisecond
          : 0;
  return age >= kProgressDelayMilliseconds ? 0
                                           : kProgressDelayMilliseconds - static_cast<DWORD>(age);
}

int scaled(int length, UINT dpi) {
  return MulDiv(length, static_cast<int>(dpi), kBaseDpi);
}

// Only the launcher closes the window: the start goes on whatever the user does with it.
LRESULT CALLBACK progressProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return message == WM_CLOSE ? 0 : defWindowProc(window, message, wParam, lParam);
}

// "Preparing <product>…"; false when the product name does not fit.
bool formatLine() {
  const wchar_t* product = productName();
  if (wcslen(product) >= kPathUnits) {
    return false;
  }
  wcscpy(line, kLineStart);
  wcscat(line, product);
  wcscat(line, kLineEnd);
  return true;
}

bool registerWindowClass() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_NOCLOSE;
  windowClass.lpfnWndProc = progressProcedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = loadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = getSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = kClassName;
  return registerClassEx(&windowClass) != 0;
}

HANDLE loadIcon(int size) {
  return loadImage(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconGroup), IMAGE_ICON, size, size,
                   LR_DEFAULTCOLOR);
}

HWND createChild(HWND window, const wchar_t* className, const wchar_t* text, DWORD style, int x,
                 int y, int width, int height, UINT dpi) {
  return createWindowEx(/* extended style */ 0, className, text, WS_CHILD | WS_VISIBLE | style,
                        scaled(x, dpi), scaled(y, dpi), scaled(width, dpi), scaled(height, dpi),
                        window, /* menu */ nullptr, GetModuleHandleW(nullptr), nullptr);
}

// The icon, the line in the system's message font and the bar; returns the bar, or null.
HWND fillWindow(HWND window, UINT dpi) {
  sendMessage(window, WM_SETICON, ICON_BIG,
              reinterpret_cast<LPARAM>(loadIcon(scaled(kIconSize, dpi))));
  sendMessage(window, WM_SETICON, ICON_SMALL,
              reinterpret_cast<LPARAM>(loadIcon(scaled(kSmallIconSize, dpi))));
  HWND icon = createChild(window, L"STATIC", nullptr, SS_ICON | SS_REALSIZECONTROL, kMargin,
                          kMargin, kIconSize, kIconSize, dpi);
  if (icon != nullptr) {
    sendMessage(icon, STM_SETICON, reinterpret_cast<WPARAM>(loadIcon(scaled(kIconSize, dpi))), 0);
  }
  HWND text = createChild(window, L"STATIC", line, SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, kColumn,
                          kLineTop, kColumnWidth, kLineHeight, dpi);
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (text != nullptr &&
      systemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
    HFONT font = createFontIndirect(&metrics.lfMessageFont);
    sendMessage(text, WM_SETFONT, reinterpret_cast<WPARAM>(font), /* redraw */ FALSE);
  }
  HWND bar = createChild(window, PROGRESS_CLASSW, nullptr, 0, kColumn, kBarTop, kColumnWidth,
                         kBarHeight, dpi);
  if (bar != nullptr) {
    sendMessage(bar, PBM_SETRANGE32, 0, kBarSteps);
  }
  return bar;
}

// The work area of the screen of the window the user is in, where the start began.
bool findWorkArea(RECT* work) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!getMonitorInfo(monitorFromWindow(getForegroundWindow(), MONITOR_DEFAULTTOPRIMARY),
                      &monitor)) {
    return false;
  }
  *work = monitor.rcWork;
  return true;
}

// Sized for `dpi`, centred in `work`, shown without taking the focus.
void placeWindow(HWND window, const RECT& work, UINT dpi) {
  RECT frame{0, 0, scaled(kClientWidth, dpi), scaled(kClientHeight, dpi)};
  adjustWindowRectExForDpi(&frame, kWindowStyle, /* menu */ FALSE, /* extended style */ 0, dpi);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  setWindowPos(window, /* insert after */ nullptr, work.left + (work.right - work.left - width) / 2,
               work.top + (work.bottom - work.top - height) / 2, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void showBytesWritten(HWND bar) {
  const uint64_t total = bytesToWrite.load(std::memory_order_relaxed);
  const uint64_t written = bytesWritten.load(std::memory_order_relaxed);
  const uint64_t steps = total == 0 || written >= total ? kBarSteps : written * kBarSteps / total;
  sendMessage(bar, PBM_SETPOS, static_cast<WPARAM>(steps), 0);
}

// Whether the window is to close: the program has ended, is ready for input, reads none (its
// idle state cannot be waited for) or has had kReadyBoundMilliseconds; or a fatal message comes.
bool mayClose() {
  const int now = phase.load(std::memory_order_acquire);
  if (now != kProgramStarted) {
    return now == kClosing;
  }
  return program == nullptr || WaitForSingleObject(program, 0) != WAIT_TIMEOUT ||
         waitForInputIdle(program, 0) != WAIT_TIMEOUT ||
         GetTickCount64() - programStartedAt >= kReadyBoundMilliseconds;
}

void runWindow(HWND window, HWND bar) {
  while (!mayClose()) {
    showBytesWritten(bar);
    for (MSG message; peekMessage(&message, nullptr, 0, 0, PM_REMOVE);) {
      dispatchMessage(&message);
    }
    msgWaitForMultipleObjects(1, &wake, /* wait for all */ FALSE, kRefreshMilliseconds,
                              QS_ALLINPUT);
  }
  destroyWindow(window);
}

// Made hidden in the middle of the screen, so that it takes that screen's DPI, then filled,
// sized and shown.
void showWindow() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
  RECT work;
  if (!formatLine() || !findWorkArea(&work) || !initCommonControlsEx(&controls) ||
      !registerWindowClass()) {
    return;
  }
  HWND window = createWindowEx(/* extended style */ 0, kClassName, productName(), kWindowStyle,
                               (work.left + work.right) / 2, (work.top + work.bottom) / 2,
                               kClientWidth, kClientHeight, /* parent */ nullptr,
                               /* menu */ nullptr, GetModuleHandleW(nullptr),
                               /* parameter */ nullptr);
  if (window == nullptr) {
    return;
  }
  const UINT windowDpi = getDpiForWindow(window);
  const UINT dpi = windowDpi == 0 ? kBaseDpi : windowDpi;
  HWND bar = fillWindow(window, dpi);
  if (bar == nullptr) {
    destroyWindow(window);
    return;
  }
  showBytesWritten(bar);
  placeWindow(window, work, dpi);
  runWindow(window, bar);
}

DWORD WINAPI progressThread(void* /* unused */) {
  WaitForSingleObject(wake, millisecondsUntilDue());
  if (phase.load(std::memory_order_acquire) == kUnpacking && findFunctions()) {
    showWindow();
  }
  return 0;
}

}  // namespace

void beginProgress(uint64_t bytes) {
  bytesToWrite.fetch_add(bytes, std::memory_order_relaxed);
  if (bytes == 0 || (launchOptions() & kProgressWindowOption) == 0 ||
      windowThread.load() != nullptr) {
    return;
  }
  wake = CreateEventW(/* security */ nullptr, /* manual reset */ FALSE, /* signalled */ FALSE,
                      /* name */ nullptr);
  if (wake != nullptr) {
    windowThread.store(CreateThread(/* security */ nullptr, /* default stack */ 0, progressThread,
                                    /* argument */ nullptr, /* flags */ 0,
                                    /* thread id */ nullptr));
  }
}

void addProgress(uint64_t bytes) {
  bytesWritten.fetch_add(bytes, std::memory_order_relaxed);
}

void closeProgressWhenReady(HANDLE process) {
  if (windowThread.load() == nullptr) {
    return;
  }
  // The caller closes its handle when the program ends, perhaps before the window looks.
  if (!DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &program,
                       /* access */ 0, /* inherit */ FALSE, DUPLICATE_SAME_ACCESS)) {
    program = nullptr;
  }
  programStartedAt = GetTickCount64();
  phase.store(kProgramStarted, std::memory_order_release);
  SetEvent(wake);
}

void closeProgressWindow() {
  HANDLE thread = windowThread.load();
  if (thread == nullptr) {
    return;
  }
  phase.store(kClosing, std::memory_order_release);
  SetEvent(wake);
  WaitForSingleObject(thread, kCloseBoundMilliseconds);
}

// A windowed launcher started from the desktop has no standard handles: its fatal line would
// reach no one. It shows the line in a message box instead, titled with the product name.
// user32 is loaded only then, so that it stays out of the imports and of every start that
// does not fail. A progress window is closed first, so that the line stands alone.
#include <windows.h>

#include <cstdarg>
#include <cstring>

#include "configuration/launcher_values.h"
#include "diagnostics/fatal.h"
#include "diagnostics/fatal_output.h"
#include "diagnostics/progress_window.h"

namespace {

using MessageBoxFunction = int(WINAPI*)(HWND, const wchar_t*, const wchar_t*, UINT);

bool hasHandle(FatalStream stream) {
  HANDLE handle =
      GetStdHandle(stream == FatalStream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

// The line without its line feed, in UTF-16 from the ANSI code page its parts were made in.
void widenLine(const char* format, va_list arguments, wchar_t* wide) {
  static char line[kFatalLineBytes];
  formatFatalLine(line, format, arguments);
  trimTrailingLineBreaks(line, strlen(line));
  if (MultiByteToWideChar(CP_ACP, 0, line, -1, wide, kFatalLineBytes) == 0) {
    endAbnormally();
  }
}

// Failures here leave nothing else to tell the user with; the exit that follows is the same.
void showMessageBox(const wchar_t* text) {
  HMODULE user32 = LoadLibraryW(L"user32.dll");
  if (user32 == nullptr) {
    return;
  }
  FARPROC function = GetProcAddress(user32, "MessageBoxW");
  if (function == nullptr) {
    return;
  }
  auto messageBox = reinterpret_cast<MessageBoxFunction>(reinterpret_cast<void*>(function));
  messageBox(/* owner */ nullptr, text, productName(), MB_OK | MB_ICONERROR);
}

}  // namespace

void writeFatalLine(FatalStream stream, const char* format, ...) {
  closeProgressWindow();
  va_list arguments;
  va_start(arguments, format);
  if (hasHandle(stream)) {
    printFatalLine(stream, format, arguments);
  } else {
    // One character of the line never takes more than one UTF-16 unit.
    static wchar_t wide[kFatalLineBytes];
    widenLine(format, arguments, wide);
    showMessageBox(wide);
  }
  va_end(arguments);
}

void writeFatalPathLine(const char* before, const wchar_t* path, const char* after) {
  closeProgressWindow();
  if (hasHandle(FatalStream::kError)) {
    printFatalPathLine(before, path, after);
    return;
  }
  static wchar_t line[kFatalLineUnits];
  formatFatalPathLine(line, before, path, after, /* with line break */ false);
  showMessageBox(line);
}

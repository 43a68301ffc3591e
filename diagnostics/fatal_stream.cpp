#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>

#include "diagnostics/fatal.h"
#include "diagnostics/fatal_output.h"
#include "rules/path_limits.h"

namespace {

// Room for a path in the ANSI code page, multi-byte characters included.
constexpr int kNarrowPathBytes = 4 * kPathUnits;

// A wide path in the ANSI code page of the system texts; characters that have no form there
// become '?' instead of cutting the line short, as msvcrt's %ls conversion would.
void narrowPath(const wchar_t* path, char* narrow) {
  int written = WideCharToMultiByte(CP_ACP, 0, path, -1, narrow, kNarrowPathBytes, "?", nullptr);
  if (written == 0) {
    endAbnormally();
  }
}

bool isConsole(HANDLE handle) {
  DWORD mode;
  return GetConsoleMode(handle, &mode) != 0;
}

// Appends ASCII `text` to `line` at `*length`, bounded by kFatalLineUnits.
void appendAscii(wchar_t* line, size_t* length, const char* text) {
  for (const char* c = text; *c != '\0'; ++c) {
    if (*length + 1 >= static_cast<size_t>(kFatalLineUnits)) {
      endAbnormally();
    }
    line[(*length)++] = static_cast<unsigned char>(*c);
  }
  line[*length] = L'\0';
}

__attribute__((format(printf, 1, 2))) void printErrorLine(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  printFatalLine(FatalStream::kError, format, arguments);
  va_end(arguments);
}

}  // namespace

void formatFatalPathLine(wchar_t* line, const char* before, const wchar_t* path, const char* after,
                         bool withLineBreak) {
  size_t length = 0;
  line[0] = L'\0';
  appendAscii(line, &length, before);
  size_t pathUnits = wcslen(path);
  if (length + pathUnits >= static_cast<size_t>(kFatalLineUnits)) {
    endAbnormally();
  }
  wmemcpy(line + length, path, pathUnits + 1);
  length += pathUnits;
  appendAscii(line, &length, after);
  if (withLineBreak) {
    appendAscii(line, &length, "\r\n");
  }
}

void printFatalPathLine(const char* before, const wchar_t* path, const char* after) {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (isConsole(error)) {
    static wchar_t line[kFatalLineUnits];
    formatFatalPathLine(line, before, path, after, /* with line break */ true);
    DWORD written;
    // Nothing is left to tell the user with when the console takes no text.
    WriteConsoleW(error, line, static_cast<DWORD>(wcslen(line)), &written, /* reserved */ nullptr);
    return;
  }
  static char narrow[kNarrowPathBytes];
  narrowPath(path, narrow);
  printErrorLine("%s%s%s\n", before, narrow, after);
}

void formatFatalLine(char* line, const char* format, va_list arguments) {
  // msvcrt's formatter: the toolchain's C++ headers turn vfprintf and vsnprintf into the
  // runtime's own, which brings along a floating-point printer the launcher never needs. It
  // gives -1 for a line that does not fit.
  const int length = _vsnprintf(line, kFatalLineBytes, format, arguments);
  if (length < 0 || length >= kFatalLineBytes) {
    endAbnormally();
  }
  line[length] = '\0';
}

void printFatalLine(FatalStream stream, const char* format, va_list arguments) {
  static char line[kFatalLineBytes];
  formatFatalLine(line, format, arguments);
  FILE* file = stream == FatalStream::kOutput ? stdout : stderr;
  fputs(line, file);
  // msvcrt may hold standard error's text in a buffer of its own when the stream is no console:
  // the abnormal end that follows some lines must not lose it.
  if (stream == FatalStream::kError) {
    fflush(file);
  }
}

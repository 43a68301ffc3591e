#include <cstdio>

#include "diagnostics/fatal.h"
#include "diagnostics/fatal_output.h"

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

#include <cstdarg>

#include "diagnostics/fatal_output.h"

void writeFatalLine(FatalStream stream, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  printFatalLine(stream, format, arguments);
  va_end(arguments);
}

void writeFatalPathLine(const char* before, const wchar_t* path, const char* after) {
  printFatalPathLine(before, path, after);
}

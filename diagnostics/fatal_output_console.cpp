#include <cstdarg>
#include <cstdio>

#include "diagnostics/fatal_output.h"

void writeFatalLine(FatalStream stream, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  vfprintf(stream == FatalStream::kOutput ? stdout : stderr, format, arguments);
  va_end(arguments);
}

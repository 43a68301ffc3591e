#include "paths/path_buffer.h"

#include <cwchar>

#include "diagnostics/fatal.h"

void copyBounded(wchar_t* destination, size_t room, const wchar_t* source) {
  size_t length = wcslen(source);
  if (length >= room) {
    endAbnormally();
  }
  wmemcpy(destination, source, length + 1);
}

void appendBounded(wchar_t* destination, size_t room, const wchar_t* source) {
  size_t used = wcsnlen(destination, room);
  if (used == room) {
    endAbnormally();
  }
  copyBounded(destination + used, room - used, source);
}

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

bool joinPath(wchar_t* path, size_t room, const wchar_t* directory, const wchar_t* name) {
  const size_t directoryUnits = wcslen(directory);
  const size_t nameUnits = wcslen(name);
  if (directoryUnits + 1 + nameUnits >= room) {
    return false;
  }
  wmemcpy(path, directory, directoryUnits + 1);
  path[directoryUnits] = L'\\';
  wmemcpy(path + directoryUnits + 1, name, nameUnits + 1);
  return true;
}

#include "paths/environment.h"

#include <windows.h>

#include <cstdlib>
#include <cwchar>

#include "diagnostics/fatal.h"

void widenAsciiName(const char* name, wchar_t* wide, size_t capacity) {
  size_t length = 0;
  wide[0] = L'\0';
  for (const char* byte = name; *byte != '\0'; ++byte) {
    const char single[2] = {*byte, '\0'};
    wchar_t converted[2];
    if (mbstowcs(converted, single, 2) != 1) {
      endAbnormally();
    }
    if (length + 2 > capacity) {
      endAbnormally();
    }
    wide[length++] = converted[0];
    wide[length] = L'\0';
  }
}

wchar_t* readEnvironmentW(const wchar_t* name) {
  static wchar_t value[kEnvironmentValueUnits];
  value[0] = L'\0';
  DWORD length = GetEnvironmentVariableW(name, value, kEnvironmentValueUnits);
  // 0: missing or empty; the room or more: the value does not fit, and the result is the size
  // it would need.
  if (length == 0 || length >= kEnvironmentValueUnits) {
    return nullptr;
  }
  return _wcsdup(value);
}

wchar_t* readEnvironment(const char* name) {
  wchar_t wide[kEnvironmentNameUnits];
  widenAsciiName(name, wide, kEnvironmentNameUnits);
  return readEnvironmentW(wide);
}

bool writeEnvironment(const char* name, const wchar_t* value) {
  wchar_t wide[kEnvironmentNameUnits];
  widenAsciiName(name, wide, kEnvironmentNameUnits);
  return SetEnvironmentVariableW(wide, value) != FALSE;
}

bool removeEnvironment(const char* name) {
  wchar_t wide[kEnvironmentNameUnits];
  widenAsciiName(name, wide, kEnvironmentNameUnits);
  return SetEnvironmentVariableW(wide, nullptr) != FALSE;
}

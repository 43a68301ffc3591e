#include "paths/system_paths.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>

#include "diagnostics/fatal.h"

namespace {

wchar_t ownPath[kOwnPathUnits];

}  // namespace

void normalizeTargetDirectory(wchar_t* directory) {
  wchar_t fullPath[kPathUnits];
  DWORD length = GetFullPathNameW(directory, kPathUnits, fullPath, /* file part */ nullptr);
  if (length == 0 || length >= kPathUnits) {
    endAbnormally();
  }
  wmemcpy(directory, fullPath, length + 1);
}

const wchar_t* getOwnExecutablePath() {
  if (ownPath[0] != L'\0') {
    return ownPath;
  }
  // The system cuts a path that does not fit and returns the cache's size; a failure returns 0.
  const DWORD length = GetModuleFileNameW(/* own executable */ nullptr, ownPath, kOwnPathUnits);
  if (length >= kOwnPathUnits) {
    endAbnormally();
  }
  ownPath[length] = L'\0';
  return ownPath;
}

bool appendKnownFolder(wchar_t* position, int folderId, size_t room) {
  // SHGetFolderPathW writes at most MAX_PATH units.
  wchar_t folder[MAX_PATH];
  HRESULT result = SHGetFolderPathW(/* owner window */ nullptr, folderId, /* token */ nullptr,
                                    SHGFP_TYPE_CURRENT, folder);
  if (result != S_OK) {
    return false;
  }
  appendBounded(position, room, folder);
  return true;
}

#include "payload/target_lock.h"

#include <windows.h>

#include <cstdint>
#include <cwchar>

#include "diagnostics/fatal.h"
#include "paths/case_folding.h"
#include "paths/number_text.h"
#include "paths/path_buffer.h"
#include "payload/relative_files.h"

namespace {

constexpr wchar_t kLockPrefix[] = L"Local\\tarnic-onefile-";
constexpr size_t kHashDigits = 16;
// A final path and the rest of a path buffer after it.
constexpr size_t kIdentityUnits = kFinalPathUnits + kPathUnits;

static_assert(sizeof kLockPrefix / sizeof(wchar_t) - 1 + kHashDigits < kLockNameUnits,
              "prefix, digits and terminator fit");

HANDLE lock;
wchar_t existing[kPathUnits];
wchar_t identity[kIdentityUnits];

void trimTrailingBackslashes(wchar_t* path) {
  for (size_t units = wcslen(path); units > 0 && path[units - 1] == L'\\'; --units) {
    path[units - 1] = L'\0';
  }
}

// Writes an object name of the DOS devices folder (`\??\C:\...`) in the form the system's final
// paths take (`\\?\C:\...`), so that a folder whose final path Wine cannot give names the same
// lock as a shallower start gives it through its final path.
void spellAsFinalPath(wchar_t* path) {
  if (wcsncmp(path, L"\\??\\", 4) == 0) {
    path[1] = L'\\';
  }
}

// The final path of the folder `path` when it exists, into `identity`.
bool readExistingFinalPath(const wchar_t* path) {
  HANDLE folder = CreateFileW(path, FILE_READ_ATTRIBUTES, kAnySharing, /* security */ nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, /* template */ nullptr);
  if (folder == INVALID_HANDLE_VALUE) {
    return false;
  }
  // The normalized form, long names for short ones, where the system gives it: Wine gives none
  // beyond MAX_PATH, and then the object's name serves, in the same form.
  DWORD units = GetFinalPathNameByHandleW(folder, identity, kFinalPathUnits, FILE_NAME_NORMALIZED);
  bool read = units > 0 && units < kFinalPathUnits;
  if (!read && readFinalPath(folder, identity)) {
    spellAsFinalPath(identity);
    read = true;
  }
  CloseHandle(folder);
  return read;
}

// Appends `rest` of a path to the identity, one backslash between them.
void appendRest(const wchar_t* rest) {
  while (*rest == L'\\') {
    ++rest;
  }
  trimTrailingBackslashes(identity);
  if (*rest != L'\0') {
    appendBounded(identity, kIdentityUnits, L"\\");
    appendBounded(identity, kIdentityUnits, rest);
    trimTrailingBackslashes(identity);
  }
}

// The units of `path` (`units` long) that name the folder above it, a drive's root keeping its
// backslash; `units` itself when there is none.
size_t upOneFolder(const wchar_t* path, size_t units) {
  size_t up = units;
  while (up > 0 && path[up - 1] != L'\\') {
    --up;
  }
  if (up == 0) {
    return units;
  }
  return up >= 2 && path[up - 2] == L':' ? up : up - 1;
}

// Writes the identity of `directory` into `identity`: the path as it stands when no part of it
// can be opened.
void identifyDirectory(const wchar_t* directory) {
  copyBounded(existing, kPathUnits, directory);
  trimTrailingBackslashes(existing);
  for (size_t units = wcslen(existing); units > 0;) {
    existing[units] = L'\0';
    if (readExistingFinalPath(existing)) {
      appendRest(directory + units);
      return;
    }
    size_t up = upOneFolder(existing, units);
    if (up >= units) {
      break;
    }
    units = up;
  }
  copyBounded(identity, kIdentityUnits, directory);
  trimTrailingBackslashes(identity);
}

}  // namespace

void formatLockName(const wchar_t* directory, wchar_t* name) {
  wchar_t digits[kNumberUnits];
  formatHex(caseFoldedHash(directory, wcslen(directory)), kHashDigits, digits);
  copyBounded(name, kLockNameUnits, kLockPrefix);
  appendBounded(name, kLockNameUnits, digits);
}

void formatTargetLockName(const wchar_t* directory, wchar_t* name) {
  identifyDirectory(directory);
  formatLockName(identity, name);
}

void lockTargetDirectory(const wchar_t* directory) {
  wchar_t name[kLockNameUnits];
  formatTargetLockName(directory, name);
  lock = CreateMutexW(/* security */ nullptr, /* owned */ FALSE, name);
  // An abandoned mutex is owned all the same: its last owner died, the files it left are
  // checked like any other.
  if (lock != nullptr) {
    DWORD waited = WaitForSingleObject(lock, INFINITE);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
      failUnpack();
    }
  }
}

bool tryLockTargetDirectory(const wchar_t* directory) {
  if (lock != nullptr) {
    return true;
  }
  wchar_t name[kLockNameUnits];
  formatTargetLockName(directory, name);
  lock = CreateMutexW(/* security */ nullptr, /* owned */ FALSE, name);
  if (lock == nullptr) {
    return false;
  }
  DWORD waited = WaitForSingleObject(lock, /* milliseconds */ 0);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    CloseHandle(lock);
    lock = nullptr;
    return false;
  }
  return true;
}

void unlockTargetDirectory() {
  if (lock != nullptr) {
    ReleaseMutex(lock);
    CloseHandle(lock);
    lock = nullptr;
  }
}

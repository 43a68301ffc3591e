#include "payload/target_lock.h"

#include <windows.h>

#include <cstdint>
#include <cwchar>

namespace {

constexpr wchar_t kLockPrefix[] = L"Local\\tarnic-onefile-";
constexpr uint64_t kFnvOffsetBasis = 0xCBF29CE484222325ull;
constexpr uint64_t kFnvPrime = 0x100000001B3ull;
constexpr int kHashDigits = 16;

static_assert(sizeof kLockPrefix / sizeof(wchar_t) - 1 + kHashDigits < kLockNameUnits,
              "prefix, digits and terminator fit");

HANDLE lock;

wchar_t foldAsciiCase(wchar_t c) {
  return (c >= L'a' && c <= L'z') ? c - L'a' + L'A' : c;
}

}  // namespace

void formatLockName(const wchar_t* directory, wchar_t* name) {
  uint64_t hash = kFnvOffsetBasis;
  for (const wchar_t* c = directory; *c != L'\0'; ++c) {
    hash = (hash ^ static_cast<uint16_t>(foldAsciiCase(*c))) * kFnvPrime;
  }
  size_t length = wcslen(kLockPrefix);
  wmemcpy(name, kLockPrefix, length);
  for (int shift = 60; shift >= 0; shift -= 4) {
    name[length++] = L"0123456789abcdef"[(hash >> shift) & 0xF];
  }
  name[length] = L'\0';
}

void lockTargetDirectory(const wchar_t* directory) {
  wchar_t name[kLockNameUnits];
  formatLockName(directory, name);
  lock = CreateMutexW(/* security */ nullptr, /* owned */ FALSE, name);
  // An abandoned mutex is owned all the same: its last owner died, the files it left are
  // checked like any other.
  if (lock != nullptr) {
    WaitForSingleObject(lock, INFINITE);
  }
}

void unlockTargetDirectory() {
  if (lock != nullptr) {
    ReleaseMutex(lock);
    CloseHandle(lock);
    lock = nullptr;
  }
}

#include "sample/tessaline_core.h"

#include <windows.h>

namespace {

// Enough for any Windows path, long paths included.
constexpr DWORD kPathUnits = 32768;
constexpr uint32_t kFnvPrime = 0x01000193u;

wchar_t corePath[kPathUnits];

}  // namespace

const wchar_t* tessalineCoreVersion() {
  return L"1.20.0.0";
}

const wchar_t* tessalineCorePath() {
  if (corePath[0] != L'\0')
    return corePath;
  HMODULE self = nullptr;
  // Any address inside this DLL names its module, wherever the loader put it.
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&tessalineCorePath), &self))
    return corePath;
  DWORD length = GetModuleFileNameW(self, corePath, kPathUnits);
  // A cut path would name the wrong file: report none instead.
  if (length == 0 || length >= kPathUnits)
    corePath[0] = L'\0';
  return corePath;
}

uint32_t tessalineFingerprint(uint32_t hash, const void* data, size_t bytes) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < bytes; ++i)
    hash = (hash ^ p[i]) * kFnvPrime;
  return hash;
}

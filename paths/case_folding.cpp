#include "paths/case_folding.h"

#include <windows.h>

// ntdll exports it; winternl.h leaves it out. The same upper case as the file system's and
// CompareStringOrdinal's, whose comparison ignores case by it.
extern "C" WCHAR NTAPI RtlUpcaseUnicodeChar(WCHAR source);

namespace {

constexpr uint64_t kFnvOffsetBasis = 0xCBF29CE484222325ull;
constexpr uint64_t kFnvPrime = 0x100000001B3ull;

}  // namespace

wchar_t foldAsciiCase(wchar_t c) {
  return (c >= L'a' && c <= L'z') ? c - L'a' + L'A' : c;
}

bool equalIgnoringCase(const wchar_t* a, const wchar_t* b, size_t units) {
  return CompareStringOrdinal(a, static_cast<int>(units), b, static_cast<int>(units),
                              /* ignore case */ TRUE) == CSTR_EQUAL;
}

uint64_t caseFoldedHash(const wchar_t* text, size_t units) {
  uint64_t hash = kFnvOffsetBasis;
  for (size_t i = 0; i < units; ++i) {
    hash = (hash ^ static_cast<uint16_t>(RtlUpcaseUnicodeChar(text[i]))) * kFnvPrime;
  }
  return hash;
}

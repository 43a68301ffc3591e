#include "paths/target_directory.h"

#include <windows.h>

#include <cwchar>

#include "diagnostics/fatal.h"
#include "paths/expand_spec.h"
#include "paths/path_buffer.h"
#include "paths/system_paths.h"
#include "rules/spec_tokens.h"

namespace {

wchar_t firstToken[kPathUnits];
wchar_t startFolder[kPathUnits];
wchar_t fullStartFolder[kPathUnits];

// Copies the spec's first token, braces included, into firstToken when the spec starts with a
// token whose value is a full path.
bool takeFullPathToken(const wchar_t* spec) {
  if (spec[0] != L'{') {
    return false;
  }
  const wchar_t* close = wcschr(spec, L'}');
  const wchar_t* reopen = wcschr(spec + 1, L'{');
  if (close == nullptr || (reopen != nullptr && reopen < close)) {
    return false;
  }
  const SpecTokenName* token = findSpecToken(spec + 1, static_cast<size_t>(close - spec - 1));
  if (token == nullptr || !token->fullPath || static_cast<size_t>(close - spec + 2) > kPathUnits) {
    return false;
  }
  wmemcpy(firstToken, spec, static_cast<size_t>(close - spec + 1));
  firstToken[close - spec + 1] = L'\0';
  return true;
}

// The full path of the folder the spec starts from, into fullStartFolder, without a closing
// backslash unless it is a drive's root; false when the spec starts from none.
bool findStartFolder(const wchar_t* spec) {
  if (!takeFullPathToken(spec) || !expandSpec(startFolder, firstToken, kPathUnits) ||
      startFolder[0] == L'\0') {
    return false;
  }
  // A bare drive names the drive's current folder to the system, but the drive's root here.
  if (startFolder[1] == L':' && startFolder[2] == L'\0') {
    appendBounded(startFolder, kPathUnits, L"\\");
  }
  DWORD length =
      GetFullPathNameW(startFolder, kPathUnits, fullStartFolder, /* file part */ nullptr);
  if (length == 0 || length >= kPathUnits) {
    return false;
  }
  if (length > 3 && fullStartFolder[length - 1] == L'\\') {
    fullStartFolder[length - 1] = L'\0';
  }
  return true;
}

bool liesIn(const wchar_t* path, const wchar_t* folder) {
  const size_t units = wcslen(folder);
  return wcslen(path) >= units &&
         CompareStringOrdinal(path, static_cast<int>(units), folder, static_cast<int>(units),
                              /* ignore case */ TRUE) == CSTR_EQUAL &&
         (path[units] == L'\0' || path[units] == L'\\' || folder[units - 1] == L'\\');
}

}  // namespace

void prepareTargetDirectory(wchar_t* directory, const wchar_t* spec) {
  if (!expandSpec(directory, spec, kPathUnits)) {
    failSpecExpansion(spec);
  }
  normalizeTargetDirectory(directory);
  if (findStartFolder(spec) && !liesIn(directory, fullStartFolder)) {
    failSpecExpansion(spec);
  }
}

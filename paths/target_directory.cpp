#include "paths/target_directory.h"

#include <windows.h>

#include <cwchar>

#include "diagnostics/fatal.h"
#include "paths/case_folding.h"
#include "paths/expand_spec.h"
#include "paths/path_buffer.h"
#include "paths/system_paths.h"
#include "rules/spec_tokens.h"
#include "rules/target_rule.h"

namespace {

wchar_t firstToken[kPathUnits];
wchar_t startValue[kPathUnits];
wchar_t startFolder[kPathUnits];
wchar_t fullStartFolder[kPathUnits];

// Copies the spec's first token, braces included, into firstToken when the spec starts with a
// token whose value is a full path.
bool takeFullPathToken(const wchar_t* spec) {
  SpecPart first{SpecPartKind::kLiteral, 0, 0, nullptr};
  walkSpec(spec, wcslen(spec), [&](const SpecPart& part) {
    first = part;
    return false;
  });
  if (first.kind != SpecPartKind::kName || first.token == nullptr || !first.token->fullPath ||
      first.units >= kPathUnits) {
    return false;
  }
  wmemcpy(firstToken, spec, first.units);
  firstToken[first.units] = L'\0';
  return true;
}

// The value of the spec's first token into startValue, as the expansion writes it, and the full
// path of the folder it names into fullStartFolder, without a closing backslash unless it is a
// drive's root; false when the spec starts from no such folder.
bool findStartFolder(const wchar_t* spec) {
  if (!takeFullPathToken(spec) || !expandSpec(startValue, firstToken, kPathUnits) ||
      startValue[0] == L'\0') {
    return false;
  }
  copyBounded(startFolder, kPathUnits, startValue);
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

// Whether the full path `folder` is a root, which no folder holds: a drive's ("C:\") or a
// share's ("\\server\share").
bool isRoot(const wchar_t* folder) {
  const size_t units = wcslen(folder);
  if (units > 0 && folder[units - 1] == L'\\') {
    return true;
  }
  const wchar_t* share =
      folder[0] == L'\\' && folder[1] == L'\\' ? wcschr(folder + 2, L'\\') : nullptr;
  return share != nullptr && wcschr(share + 1, L'\\') == nullptr;
}

// Whether `rest`, the expansion after the first token's value, keeps the target with the folder
// that value names, by the rule the packer checked the spec with.
bool restKeepsToStartFolder(const wchar_t* rest) {
  const wchar_t* backslash = wcsrchr(fullStartFolder, L'\\');
  const wchar_t* name = backslash == nullptr ? fullStartFolder : backslash + 1;
  const size_t nameUnits = wcslen(name);
  const auto beginsWithName = [&](const wchar_t* other, size_t units) {
    return units >= nameUnits && equalIgnoringCase(other, name, nameUnits);
  };
  return walkTargetRest(rest, wcslen(rest), isRoot(fullStartFolder), beginsWithName,
                        [](size_t, size_t, bool) {})
             .reach == TargetReach::kKept;
}

// Whether the full path `directory` begins with fullStartFolder and names no "." or ".." after
// it: the system's own reading of the expansion, which differs from the rule's on names that end
// in dots or blanks (Wine makes "..." of "x\...\y" the ".." of "x\..\y", and leaves it there).
bool liesAtStartFolder(const wchar_t* directory) {
  const size_t units = wcslen(fullStartFolder);
  if (wcslen(directory) < units || !equalIgnoringCase(directory, fullStartFolder, units)) {
    return false;
  }
  for (const wchar_t* name = wcschr(directory + units, L'\\'); name != nullptr;
       name = wcschr(name, L'\\')) {
    ++name;
    const wchar_t* end = wcschr(name, L'\\');
    const size_t length = end == nullptr ? wcslen(name) : static_cast<size_t>(end - name);
    if (isDotName(name, length, 1) || isDotName(name, length, 2)) {
      return false;
    }
  }
  return true;
}

}  // namespace

void prepareTargetDirectory(wchar_t* directory, const wchar_t* spec) {
  if (!expandSpec(directory, spec, kPathUnits)) {
    failSpecExpansion(spec);
  }
  const bool fromFolder = findStartFolder(spec);
  const size_t valueUnits = wcslen(startValue);
  if (fromFolder && (wcsncmp(directory, startValue, valueUnits) != 0 ||
                     !restKeepsToStartFolder(directory + valueUnits))) {
    failSpecExpansion(spec);
  }
  normalizeTargetDirectory(directory);
  if (fromFolder && !liesAtStartFolder(directory)) {
    failSpecExpansion(spec);
  }
}

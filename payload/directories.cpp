#include "payload/directories.h"

#include <windows.h>

#include <cwchar>

#include "diagnostics/fatal.h"
#include "paths/expand_spec.h"
#include "paths/path_buffer.h"

namespace {

constexpr wchar_t kHomeSpec[] = L"{HOME}";

wchar_t* knownDirectories[kKnownDirectoryCount];
// Whether this run made the directory, or found it.
bool madeThisRun[kKnownDirectoryCount];
size_t knownDirectoryCount;

// The directory's place in the list, or kKnownDirectoryCount when it is not known.
size_t knownIndex(const wchar_t* directory) {
  for (size_t i = 0; i < knownDirectoryCount; ++i) {
    if (wcscmp(knownDirectories[i], directory) == 0) {
      return i;
    }
  }
  return kKnownDirectoryCount;
}

bool isKnownDirectory(const wchar_t* directory) {
  return knownIndex(directory) != kKnownDirectoryCount;
}

// A copy that cannot be allocated is not remembered: the directory is then only asked for
// again, which is harmless.
void rememberDirectory(const wchar_t* directory, bool made) {
  if (knownDirectoryCount == kKnownDirectoryCount) {
    return;
  }
  wchar_t* copy = _wcsdup(directory);
  if (copy != nullptr) {
    madeThisRun[knownDirectoryCount] = made;
    knownDirectories[knownDirectoryCount++] = copy;
  }
}

// The walk up the tree stops at the user's home directory without asking the system.
void seedKnownDirectories() {
  wchar_t home[kPathUnits];
  if (!expandSpec(home, kHomeSpec, kPathUnits)) {
    failSpecExpansion(kHomeSpec);
  }
  rememberDirectory(home, /* made */ false);
}

bool isBareDrive(const wchar_t* directory) {
  return directory[0] != L'\0' && directory[1] == L':' && directory[2] == L'\0';
}

// Makes the one directory exist and remembers it.
bool makeDirectory(const wchar_t* directory) {
  if (isKnownDirectory(directory)) {
    return true;
  }
  bool made = CreateDirectoryW(directory, /* security */ nullptr);
  if (!made && GetLastError() != ERROR_ALREADY_EXISTS) {
    return false;
  }
  rememberDirectory(directory, made);
  return true;
}

// Makes sure the one directory `directory` exists, without creating parents.
bool createDirectoryCached(const wchar_t* directory) {
  if (knownDirectoryCount == 0) {
    seedKnownDirectories();
  }
  return isBareDrive(directory) || makeDirectory(directory);
}

// Makes `directory` exist, or where that fails the folders above it first: the walk goes up
// only as long as creation fails, then down again, each missing folder made once, top first.
bool createWalkingUp(wchar_t* directory) {
  wchar_t* end = directory + wcslen(directory);
  // The first unit is never taken as the separator: "\name" has no parent to create.
  while (!createDirectoryCached(directory)) {
    wchar_t* backslash = wcsrchr(directory + 1, L'\\');
    if (backslash == nullptr) {
      break;
    }
    *backslash = L'\0';
  }
  for (wchar_t* cut = directory + wcslen(directory); cut < end; cut += wcslen(cut)) {
    *cut = L'\\';
    if (!createDirectoryCached(directory)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool makeDirectoryWithParents(const wchar_t* directory) {
  wchar_t path[kPathUnits];
  copyBounded(path, kPathUnits, directory);
  return createWalkingUp(path);
}

bool wasMadeThisRun(const wchar_t* directory) {
  size_t index = knownIndex(directory);
  return index != kKnownDirectoryCount && madeThisRun[index];
}

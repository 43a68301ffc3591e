#include "payload/directories.h"

#include <windows.h>

#include <cwchar>

#include "diagnostics/fatal.h"
#include "paths/expand_spec.h"
#include "paths/path_buffer.h"
#include "paths/path_parts.h"

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

// A drive's or share's root exists whenever anything below it can.
bool isRoot(const wchar_t* directory) {
  const size_t units = wcslen(directory);
  const size_t root = rootUnits(directory, units);
  return root > 0 && units <= root + 1;
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

}  // namespace

bool createDirectoryCached(const wchar_t* directory) {
  if (knownDirectoryCount == 0) {
    seedKnownDirectories();
  }
  return isRoot(directory) || makeDirectory(directory);
}

bool ensureParentDirectories(const wchar_t* path) {
  wchar_t parent[kPathUnits];
  copyBounded(parent, kPathUnits, path);
  const size_t units = folderAboveUnits(parent, wcslen(parent));
  if (units == 0) {
    return true;
  }
  parent[units] = L'\0';
  // The walk goes up only as long as creation fails, then down again, each missing folder made
  // once, top first.
  if (createDirectoryCached(parent)) {
    return true;
  }
  ensureParentDirectories(parent);
  return createDirectoryCached(parent);
}

bool wasMadeThisRun(const wchar_t* directory) {
  size_t index = knownIndex(directory);
  return index != kKnownDirectoryCount && madeThisRun[index];
}

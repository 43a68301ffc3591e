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
const wchar_t* guardedDirectory;

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

// The offset of the backslash that joins the target directory to the folders below it in
// `directory`, or 0 when `directory` does not lie below the target directory.
size_t guardedFoldersStart(const wchar_t* directory) {
  if (guardedDirectory == nullptr) {
    return 0;
  }
  size_t length = wcslen(guardedDirectory);
  bool below = wcsncmp(directory, guardedDirectory, length) == 0 && directory[length] == L'\\';
  return below ? length : 0;
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

bool isRealFolder(const wchar_t* directory) {
  DWORD attributes = GetFileAttributesW(directory);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// Makes the one directory exist and remembers it. One found there must be a real folder (no
// link, no file) when `realFolderOnly`, as below the target directory.
bool makeDirectory(const wchar_t* directory, bool realFolderOnly) {
  if (isKnownDirectory(directory)) {
    return true;
  }
  bool made = CreateDirectoryW(directory, /* security */ nullptr);
  if (!made &&
      (GetLastError() != ERROR_ALREADY_EXISTS || (realFolderOnly && !isRealFolder(directory)))) {
    return false;
  }
  rememberDirectory(directory, made);
  return true;
}

// Makes every folder of `directory` after offset `start` (a backslash) exist, top first.
bool createFoldersFrom(wchar_t* directory, size_t start) {
  size_t length = wcslen(directory);
  for (size_t at = start + 1; at <= length; ++at) {
    if (at < length && directory[at] != L'\\') {
      continue;
    }
    wchar_t separator = directory[at];
    directory[at] = L'\0';
    bool made = makeDirectory(directory, /* real folder only */ true);
    directory[at] = separator;
    if (!made) {
      return false;
    }
  }
  return true;
}

}  // namespace

void guardFoldersBelow(const wchar_t* targetDirectory) {
  guardedDirectory = targetDirectory;
}

bool ensureParentDirectories(const wchar_t* path) {
  if (path == nullptr) {
    endAbnormally();
  }
  wchar_t directory[kPathUnits];
  copyBounded(directory, kPathUnits, path);
  wchar_t* backslash = directory[0] == L'\0' ? nullptr : wcsrchr(directory + 1, L'\\');
  if (backslash == nullptr) {
    return true;
  }
  *backslash = L'\0';
  size_t start = guardedFoldersStart(directory);
  if (start == 0) {
    return createWalkingUp(directory);
  }
  directory[start] = L'\0';
  bool targetMade = createWalkingUp(directory);
  directory[start] = L'\\';
  return targetMade && createFoldersFrom(directory, start);
}

bool createDirectoryCached(const wchar_t* directory) {
  if (knownDirectoryCount == 0) {
    seedKnownDirectories();
  }
  return isBareDrive(directory) || makeDirectory(directory, /* real folder only */ false);
}

bool isInFolderMadeThisRun(const wchar_t* path) {
  wchar_t folder[kPathUnits];
  copyBounded(folder, kPathUnits, path);
  wchar_t* backslash = wcsrchr(folder, L'\\');
  if (backslash == nullptr) {
    return false;
  }
  *backslash = L'\0';
  size_t index = knownIndex(folder);
  return index != kKnownDirectoryCount && madeThisRun[index];
}

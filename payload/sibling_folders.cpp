#include "payload/sibling_folders.h"

#include <windows.h>

#include <cstdint>
#include <cwchar>

#include "paths/case_folding.h"
#include "paths/path_buffer.h"
#include "payload/relative_files.h"

namespace {

struct Sibling {
  wchar_t path[kPathUnits];
  wchar_t finalPath[kFinalPathUnits];
  int64_t lastWriteTime;
};

Sibling siblings[kMostSiblingFolders];
size_t siblingCount;
wchar_t parentPath[kPathUnits];
wchar_t parentFinalPath[kFinalPathUnits];
wchar_t listedName[kPathUnits];

const RelativeOpen kLookAtFolder{FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                                 FILE_DIRECTORY_FILE};

// Splits the target directory into the folder above it (parentPath, a drive's root keeping its
// backslash) and its own name; false when it has no folder above.
bool splitTarget(const wchar_t* target, const wchar_t** leaf, size_t* leafUnits) {
  size_t units = wcslen(target);
  while (units > 0 && target[units - 1] == L'\\') {
    --units;
  }
  size_t cut = units;
  while (cut > 0 && target[cut - 1] != L'\\') {
    --cut;
  }
  if (cut == 0 || cut >= kPathUnits) {
    return false;
  }
  *leaf = target + cut;
  *leafUnits = units - cut;
  wmemcpy(parentPath, target, cut);
  // "C:\" stays the root; any other folder loses its closing backslash.
  const bool isRoot = cut >= 2 && target[cut - 2] == L':';
  parentPath[isRoot ? cut : cut - 1] = L'\0';
  return true;
}

bool isFolderToLookAt(const ListedName& listed, const wchar_t* targetLeaf, size_t targetUnits) {
  const bool dots = (listed.units == 1 && listed.name[0] == L'.') ||
                    (listed.units == 2 && listed.name[0] == L'.' && listed.name[1] == L'.');
  return (listed.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (listed.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && !dots &&
         listed.units < kPathUnits &&
         !(listed.units == targetUnits && equalIgnoringCase(listed.name, targetLeaf, targetUnits));
}

// Keeps the listed folder when it is among the latest so far, the latest first.
void keepIfRecent(HANDLE parent, const ListedName& listed) {
  size_t at = siblingCount;
  while (at > 0 && siblings[at - 1].lastWriteTime < listed.lastWriteTime) {
    --at;
  }
  if (at == kMostSiblingFolders) {
    return;
  }
  wmemcpy(listedName, listed.name, listed.units);
  listedName[listed.units] = L'\0';
  Sibling sibling;
  HANDLE folder = openRelative(parent, listedName, listed.units, kLookAtFolder);
  if (folder == nullptr) {
    return;
  }
  bool sound = isPlainEntry(folder, /* folder */ true) &&
               readFinalPath(folder, sibling.finalPath) &&
               isFinalPathBelow(sibling.finalPath, parentFinalPath, listedName, listed.units) &&
               joinPath(sibling.path, kPathUnits, parentPath, listedName);
  CloseHandle(folder);
  if (!sound) {
    return;
  }
  sibling.lastWriteTime = listed.lastWriteTime;
  size_t last = siblingCount < kMostSiblingFolders ? siblingCount : kMostSiblingFolders - 1;
  for (size_t i = last; i > at; --i) {
    siblings[i] = siblings[i - 1];
  }
  siblings[at] = sibling;
  siblingCount = last + 1;
}

}  // namespace

size_t findSiblingFolders(const wchar_t* targetDirectory) {
  siblingCount = 0;
  const wchar_t* leaf = nullptr;
  size_t leafUnits = 0;
  if (!splitTarget(targetDirectory, &leaf, &leafUnits)) {
    return 0;
  }
  HANDLE parent = CreateFileW(parentPath, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              /* security */ nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                              /* template */ nullptr);
  if (parent == INVALID_HANDLE_VALUE) {
    return 0;
  }
  if (readFinalPath(parent, parentFinalPath)) {
    // A drive's root comes with its backslash; every other folder without.
    size_t units = wcslen(parentFinalPath);
    if (units > 0 && parentFinalPath[units - 1] == L'\\') {
      parentFinalPath[units - 1] = L'\0';
    }
    ListedName listed;
    for (bool first = true; nextListedName(parent, /* every name */ nullptr, first, &listed);
         first = false) {
      if (isFolderToLookAt(listed, leaf, leafUnits)) {
        keepIfRecent(parent, listed);
      }
    }
  }
  CloseHandle(parent);
  return siblingCount;
}

const wchar_t* siblingFolderPath(size_t index) {
  return siblings[index].path;
}

const wchar_t* siblingFolderFinalPath(size_t index) {
  return siblings[index].finalPath;
}

#include "payload/leftovers.h"

#include <windows.h>

#include <cwchar>

#include "paths/environment.h"
#include "paths/path_buffer.h"
#include "payload/held_folders.h"
#include "payload/partial_file.h"
#include "payload/relative_files.h"
#include "payload/table_verification.h"
#include "rules/entry_name.h"
#include "rules/payload_format.h"

namespace {

// Ends in the partial files' suffix, which no entry's name may: it is the launcher's own.
constexpr wchar_t kLeftoversMark[] = L"leftovers.tarnic-partial";
constexpr size_t kMarkUnits = sizeof kLeftoversMark / sizeof(wchar_t) - 1;
constexpr size_t kSuffixUnits = sizeof kPartialFileSuffix;

const RelativeOpen kMakeMark{FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN_IF,
                             FILE_NON_DIRECTORY_FILE};

wchar_t markPath[kPathUnits];
wchar_t mask[kSuffixUnits + 1];
wchar_t name[kPathUnits];
wchar_t entryName[kNameBufferUnits];

// Holds the folder of every checkable entry that exists.
void holdEntryFolders() {
  TableCursor cursor = firstTableEntry();
  TableEntry entry;
  for (uint64_t i = 0; i < checkableEntries() && nextTableEntry(&cursor, &entry); ++i) {
    copyTableName(entry, entryName);
    findEntryFolder(entryName);
  }
}

// Removes the partial files of `folder` that can go; false when one stays.
bool removePartialFiles(const HeldFolder& folder, bool isTarget) {
  bool allGone = true;
  ListedName listed;
  for (bool first = true; nextListedName(folder.handle, mask, first, &listed); first = false) {
    if (listed.units >= kPathUnits || (isTarget && listed.units == kMarkUnits &&
                                       wmemcmp(listed.name, kLeftoversMark, kMarkUnits) == 0)) {
      continue;
    }
    wmemcpy(name, listed.name, listed.units);
    name[listed.units] = L'\0';
    allGone = removePartialFile(folder, name) && allGone;
  }
  return allGone;
}

}  // namespace

void noteLeftover() {
  const HeldFolder* target = heldTargetDirectory();
  HANDLE mark = target == nullptr
                    ? nullptr
                    : openRelative(target->handle, kLeftoversMark, kMarkUnits, kMakeMark);
  if (mark != nullptr) {
    CloseHandle(mark);
  }
}

void removeLeftovers(const wchar_t* targetDirectory) {
  if (!joinPath(markPath, kPathUnits, targetDirectory, kLeftoversMark) ||
      GetFileAttributesW(markPath) == INVALID_FILE_ATTRIBUTES ||
      !findTargetDirectory(targetDirectory)) {
    return;
  }
  mask[0] = L'*';
  widenAsciiName(kPartialFileSuffix, mask + 1, kSuffixUnits);
  holdEntryFolders();
  bool allGone = true;
  for (size_t i = 0; i < heldFolderCount(); ++i) {
    if (heldFolderAt(i).handle != nullptr) {
      allGone = removePartialFiles(heldFolderAt(i), i == 0) && allGone;
    }
  }
  if (allGone) {
    removePartialFile(*heldTargetDirectory(), kLeftoversMark);
  }
}

#include "payload/leftovers.h"

#include <windows.h>

#include <cwchar>

#include "paths/environment.h"
#include "paths/path_buffer.h"
#include "payload/copy_record.h"
#include "payload/relative_files.h"
#include "payload/entry_table.h"
#include "rules/entry_name.h"
#include "rules/payload_format.h"

namespace {

// The mark is made new, never opened: under Wine a create that may open follows a link planted
// at the name and makes the file it leads to. One that is there already is looked at alone.
const RelativeOpen kMakeMark{FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
                             FILE_NON_DIRECTORY_FILE};
const RelativeOpen kFindMark{FILE_READ_ATTRIBUTES, kAnySharing, FILE_OPEN, FILE_NON_DIRECTORY_FILE};

wchar_t mask[1 + kPartialFileSuffixUnits + 1];
wchar_t name[kPathUnits];
wchar_t entryName[kNameBufferUnits];

// Holds the folder of every checkable entry that exists.
void holdEntryFolders() {
  for (TableWalk walk = beginTableWalk(); nextCheckableEntry(&walk);) {
    copyTableName(walk.entry, entryName);
    findEntryFolder(entryName);
  }
}

bool isMark(const ListedName& listed) {
  return (listed.units == kLeftoversMarkUnits &&
          wmemcmp(listed.name, kLeftoversMark, kLeftoversMarkUnits) == 0) ||
         (listed.units == kCopyRecordNameUnits &&
          wmemcmp(listed.name, kCopyRecordName, kCopyRecordNameUnits) == 0);
}

// Whether the held target directory holds something at the mark's name.
bool isMarked(const HeldFolder& target) {
  HANDLE mark = openRelative(target.handle, kLeftoversMark, kLeftoversMarkUnits, kFindMark);
  if (mark == nullptr) {
    return false;
  }
  CloseHandle(mark);
  return true;
}

}  // namespace

bool removePartialFilesOf(const HeldFolder& folder, bool keepMarks) {
  if (mask[0] == L'\0') {
    mask[0] = L'*';
    widenAsciiName(kPartialFileSuffix, mask + 1, kPartialFileSuffixUnits + 1);
  }
  bool allGone = true;
  ListedName listed;
  for (bool first = true; nextListedName(folder.handle, mask, first, &listed); first = false) {
    if (listed.units >= kPathUnits || (keepMarks && isMark(listed))) {
      continue;
    }
    wmemcpy(name, listed.name, listed.units);
    name[listed.units] = L'\0';
    allGone = removePlainFile(folder, name) == FileRemoval::kGone && allGone;
  }
  return allGone;
}

void noteLeftover() {
  const HeldFolder* target = heldTargetDirectory();
  HANDLE mark = target == nullptr
                    ? nullptr
                    : openRelative(target->handle, kLeftoversMark, kLeftoversMarkUnits, kMakeMark);
  if (mark != nullptr) {
    CloseHandle(mark);
  }
}

void removeLeftovers() {
  const HeldFolder* target = heldTargetDirectory();
  if (target == nullptr || !isMarked(*target)) {
    return;
  }
  holdEntryFolders();
  bool allGone = true;
  for (size_t i = 0; i < heldFolderCount(); ++i) {
    if (heldFolderAt(i).handle != nullptr) {
      allGone = removePartialFilesOf(heldFolderAt(i), /* keep marks */ i == 0) && allGone;
    }
  }
  if (allGone) {
    removePlainFile(*heldTargetDirectory(), kLeftoversMark);
  }
}

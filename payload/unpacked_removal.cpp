// Removal of the files a start unpacked, for launchers whose copy is meant for one start.
#include <windows.h>

#include <cwchar>

#include "payload/held_folders.h"
#include "payload/partial_file.h"
#include "payload/relative_files.h"
#include "payload/table_verification.h"
#include "payload/unpack.h"
#include "rules/payload_format.h"

namespace {

// Without sharing: a file someone still uses is not touched.
const RelativeOpen kRemoveFile{DELETE | FILE_READ_ATTRIBUTES, /* sharing */ 0, FILE_OPEN,
                               FILE_NON_DIRECTORY_FILE};
const RelativeOpen kCreateStandIn{DELETE | FILE_READ_ATTRIBUTES, /* sharing */ 0, FILE_CREATE,
                                  FILE_NON_DIRECTORY_FILE};

wchar_t entryName[kNameBufferUnits];
wchar_t standInName[kPathUnits];

// Removes the link at `leaf` in `folder` and nothing it leads to: a new empty file of this
// start's own is renamed over the link, which replaces the link itself, and then removed.
void removeLink(const HeldFolder& folder, const wchar_t* leaf) {
  if (!nextPartialName(leaf, leaf, standInName)) {
    return;
  }
  HANDLE standIn = openRelative(folder.handle, standInName, wcslen(standInName), kCreateStandIn);
  if (standIn == nullptr) {
    return;
  }
  renameRelative(standIn, folder.handle, leaf, wcslen(leaf), /* replace */ true);
  markForDeletion(standIn);
  CloseHandle(standIn);
}

// Removes the file `leaf` of `folder` when nothing uses it: through its own handle when it is a
// plain file of that folder, as a link when it is one.
void removeFile(const HeldFolder& folder, const wchar_t* leaf) {
  HANDLE file = openRelative(folder.handle, leaf, wcslen(leaf), kRemoveFile);
  if (file == nullptr) {
    return;
  }
  if (isPlainFileOf(file, folder, leaf)) {
    markForDeletion(file);
    CloseHandle(file);
    return;
  }
  CloseHandle(file);
  removeLink(folder, leaf);
}

}  // namespace

void removeUnpackedFiles(const wchar_t* targetDirectory) {
  if (!findTargetDirectory(targetDirectory)) {
    return;
  }
  TableCursor cursor = firstTableEntry();
  TableEntry entry;
  for (uint64_t i = 0; i < checkableEntries() && nextTableEntry(&cursor, &entry); ++i) {
    copyTableName(entry, entryName);
    const HeldFolder* folder = findEntryFolder(entryName);
    if (folder != nullptr) {
      removeFile(*folder, entryLeaf(entryName));
    }
  }
  removeMadeFolders(targetDirectory);
}

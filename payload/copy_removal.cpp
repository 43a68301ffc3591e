#include "payload/copy_removal.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cwchar>

#include "paths/case_folding.h"
#include "paths/path_buffer.h"
#include "payload/copy_record.h"
#include "payload/entry_table.h"
#include "payload/held_folders.h"
#include "payload/leftovers.h"
#include "payload/partial_file.h"
#include "payload/relative_files.h"
#include "payload/sibling_folders.h"
#include "payload/target_lock.h"
#include "payload/unpack.h"
#include "rules/entry_name.h"
#include "rules/payload_format.h"

namespace {

const RelativeOpen kCreateStandIn{DELETE | FILE_READ_ATTRIBUTES, /* sharing */ 0, FILE_CREATE,
                                  FILE_NON_DIRECTORY_FILE};
// A copy's folder is taken with no sharing at all: the open fails while any start holds it.
constexpr DWORD kCopyFolderAccess = kFolderAccess | DELETE;

// A removal of the launcher's own copy that takes longer than this under a console event is
// cut short by the system's default handling, which ends the launcher.
constexpr DWORD kMostRemovalWaitMilliseconds = 30000;

wchar_t entryName[kNameBufferUnits];
wchar_t standInName[kPathUnits];
wchar_t copyFinalPath[kFinalPathUnits];

const wchar_t* ownTargetDirectory;
HANDLE ownRemovalDone;

// Removes the link at `leaf` in `folder` and nothing it leads to: a new empty file of this
// start's own is renamed over the link, which replaces the link itself, and then removed.
bool removeLink(const HeldFolder& folder, const wchar_t* leaf) {
  if (!nextPartialName(leaf, leaf, standInName)) {
    return false;
  }
  HANDLE standIn = openRelative(folder.handle, standInName, wcslen(standInName), kCreateStandIn);
  if (standIn == nullptr) {
    return false;
  }
  const bool replaced =
      renameRelative(standIn, folder.handle, leaf, wcslen(leaf), /* replace */ true);
  const bool removed = markForDeletion(standIn);
  CloseHandle(standIn);
  return replaced && removed;
}

// Removes the file `leaf` of `folder` when nothing uses it: through its own handle when it is a
// plain file of that folder, as a link when it is one. True when no file of that name is left.
bool removeFile(const HeldFolder& folder, const wchar_t* leaf) {
  switch (removePlainFile(folder, leaf)) {
    case FileRemoval::kGone:
      return true;
    case FileRemoval::kNotPlain:
      return removeLink(folder, leaf);
    case FileRemoval::kStays:
      break;
  }
  return false;
}

// Removes the files that `names` (at most `count` entries) names below the held copy; true when
// none of them is left.
bool removeNamedFiles(TableCursor names, uint64_t count) {
  bool allGone = true;
  TableEntry entry;
  for (uint64_t i = 0; i < count && nextTableEntry(&names, &entry); ++i) {
    const size_t units = copyTableName(entry, entryName);
    if (!isCreatableEntryName(entryName, units)) {
      allGone = false;  // no name of a sound table: the copy is left as it is
      continue;
    }
    const HeldFolder* folder = findEntryFolder(entryName);
    if (folder != nullptr) {
      allGone = removeFile(*folder, entryLeaf(entryName)) && allGone;
    }
  }
  return allGone;
}

// Removes what the copy held as `root` (held for removal) holds of `names`, then its partial
// files, its empty folders, its record when nothing named is left, and its folder when empty.
// True when nothing named is left.
bool removeHeldCopy(TableCursor names, uint64_t count) {
  bool allGone = removeNamedFiles(names, count);
  for (size_t i = 0; i < heldFolderCount(); ++i) {
    if (heldFolderAt(i).handle != nullptr) {
      allGone = removePartialFilesOf(heldFolderAt(i), /* keep marks */ i == 0) && allGone;
    }
  }
  const HeldFolder& root = heldFolderAt(0);
  allGone = removePlainFile(root, kLeftoversMark) == FileRemoval::kGone && allGone;
  if (allGone) {
    removePlainFile(root, kCopyRecordName);
  }
  removeHeldFolders();
  return allGone;
}

// Opens the copy's folder `path` with no sharing at all, as a plain folder, and reads its final
// path into copyFinalPath; null when a start uses it or it is no such folder.
HANDLE takeCopyFolder(const wchar_t* path) {
  HANDLE folder =
      CreateFileW(path, kCopyFolderAccess, /* sharing */ 0, /* security */ nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                  /* template */ nullptr);
  if (folder == INVALID_HANDLE_VALUE) {
    return nullptr;
  }
  if (!isPlainEntry(folder, /* folder */ true) || !readFinalPath(folder, copyFinalPath)) {
    CloseHandle(folder);
    return nullptr;
  }
  return folder;
}

// Removes the launcher's own copy, unless another start uses it.
void removeOwnCopy(const wchar_t* targetDirectory) {
  abandonUnpacking();
  releaseHeldFolders();
  releaseInUseMark();
  if (heldTargetIndex() == 0 || !tryLockTargetDirectory(targetDirectory)) {
    return;
  }
  HANDLE folder = takeCopyFolder(targetDirectory);
  uint64_t index = 0;
  if (folder != nullptr && readFileIndex(folder, &index) && index == heldTargetIndex()) {
    holdCopyForRemoval(folder, copyFinalPath);
    removeHeldCopy(firstTableEntry(), checkableEntries());
  } else if (folder != nullptr) {
    CloseHandle(folder);
  }
  unlockTargetDirectory();
}

// Removes the copy in the folder `path` beside the target directory, whose final path was
// `finalPath` when it was found, unless a start uses it; the names are its record's. False when
// a start uses it or something it names stays.
bool removeCopyBeside(const wchar_t* path, const wchar_t* finalPath) {
  if (!tryLockTargetDirectory(path)) {
    return false;
  }
  HANDLE folder = takeCopyFolder(path);
  CopyRecord record;
  const size_t units = wcslen(finalPath);
  bool removed = false;
  if (folder != nullptr && wcslen(copyFinalPath) == units &&
      equalIgnoringCase(copyFinalPath, finalPath, units) &&
      readCopyRecord(folder, copyFinalPath, &record)) {
    holdCopyForRemoval(folder, copyFinalPath);
    removed = removeHeldCopy(record.names, UINT64_MAX);
  } else if (folder != nullptr) {
    CloseHandle(folder);
  }
  unlockTargetDirectory();
  return removed;
}

void removeOwnCopyAtExit() {
  removeOwnCopy(ownTargetDirectory);
  SetEvent(ownRemovalDone);
}

}  // namespace

void removeCopyWhenTheLauncherEnds(const wchar_t* targetDirectory) {
  ownTargetDirectory = targetDirectory;
  ownRemovalDone = CreateEventW(/* security */ nullptr, /* manual reset */ TRUE,
                                /* signalled */ FALSE, /* name */ nullptr);
  if (ownRemovalDone == nullptr || atexit(removeOwnCopyAtExit) != 0) {
    ownRemovalDone = nullptr;
  }
}

void awaitCopyRemoval() {
  if (ownRemovalDone != nullptr) {
    WaitForSingleObject(ownRemovalDone, kMostRemovalWaitMilliseconds);
  }
}

bool removeUnwantedCopies(const wchar_t* targetDirectory, unsigned keepVersions,
                          bool copiesForOneStart) {
  const size_t found =
      findSiblingCopies(targetDirectory, /* most folders */ SIZE_MAX, /* with target */ true);
  // Each copy is taken with no sharing at all, which a handle of this start's would refuse.
  releaseSiblingCopies();
  // The versions recorded later than the next one: the target directory's stays whatever its
  // place, and counts where its record puts it (first, when it has none), so that a start of an
  // earlier version never removes a later one.
  unsigned later = 1;
  for (size_t i = 0; i < found; ++i) {
    later = isTargetCopy(i) ? 0 : later;
  }
  bool allRemoved = true;
  for (size_t i = 0; i < found; ++i) {
    const bool forOneStart = (siblingCopyFlags(i) & kCopyForOneStart) != 0;
    const bool wanted =
        isTargetCopy(i) ||
        (forOneStart ? !copiesForOneStart : keepVersions == 0 || later < keepVersions);
    later += forOneStart ? 0 : 1;
    if (!wanted) {
      allRemoved = removeCopyBeside(siblingCopyPath(i), siblingCopyFinalPath(i)) && allRemoved;
    }
  }
  return allRemoved;
}

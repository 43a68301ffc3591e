#include "payload/held_folders.h"

#include <cstdlib>
#include <cwchar>

#include "diagnostics/fatal.h"
#include "paths/case_folding.h"
#include "paths/path_buffer.h"
#include "paths/path_parts.h"
#include "payload/directories.h"
#include "payload/relative_files.h"

namespace {

constexpr size_t kNoRecord = static_cast<size_t>(-1);
constexpr size_t kFirstRecords = 64;

// One folder the start holds or held: its path relative to the target directory ("" for the
// target directory itself), the folder above it and its identity.
struct FolderRecord {
  wchar_t* relative;
  size_t units;
  size_t parent;
  HeldFolder folder;
  uint64_t index;
};

FolderRecord* records;
size_t recordCount;
size_t recordCapacity;
// The target directory's folder apart from the records, which move as they grow: the thread
// that completes files reads it while the main thread holds more folders.
HeldFolder targetFolder;
// Open addressing over the relative paths, in any case: each slot holds a record's place + 1.
size_t* slots;
size_t slotCount;

wchar_t finalPath[kFinalPathUnits];
wchar_t folderPath[kPathUnits];
// The target directory's path, as the start holds it.
wchar_t targetPath[kPathUnits];
// The root held is a copy being removed, not the target directory.
bool removing;
uint64_t targetIndex;
// The target directory's handle while the program runs (see keepTargetDirectoryInUse).
HANDLE inUseMark;

const RelativeOpen kHoldFolder{kFolderAccess, kFolderSharing, FILE_OPEN_IF, FILE_DIRECTORY_FILE};
const RelativeOpen kFindFolder{kFolderAccess, kFolderSharing, FILE_OPEN, FILE_DIRECTORY_FILE};
// While a copy is removed its folders are held so that they can be removed through the very
// handles that hold them: no second open, which a swap could lead elsewhere.
const RelativeOpen kFindFolderToRemove{kFolderAccess | DELETE, kFolderSharing, FILE_OPEN,
                                       FILE_DIRECTORY_FILE};
// Without sharing: a file someone still uses is not touched.
const RelativeOpen kRemoveFile{DELETE | FILE_READ_ATTRIBUTES, /* sharing */ 0, FILE_OPEN,
                               FILE_NON_DIRECTORY_FILE};
const RelativeOpen kIdentifyFolder{FILE_READ_ATTRIBUTES, kAnySharing, FILE_OPEN,
                                   FILE_DIRECTORY_FILE};

bool sameRelative(const FolderRecord& record, const wchar_t* relative, size_t units) {
  return record.units == units && equalIgnoringCase(record.relative, relative, units);
}

// The slot of `relative`: the one that holds its record, or the empty one it would take.
size_t slotOf(const wchar_t* relative, size_t units) {
  size_t slot = static_cast<size_t>(caseFoldedHash(relative, units)) & (slotCount - 1);
  while (slots[slot] != 0 && !sameRelative(records[slots[slot] - 1], relative, units)) {
    slot = (slot + 1) & (slotCount - 1);
  }
  return slot;
}

size_t findRecord(const wchar_t* relative, size_t units) {
  if (slotCount == 0) {
    return kNoRecord;
  }
  size_t slot = slotOf(relative, units);
  return slots[slot] == 0 ? kNoRecord : slots[slot] - 1;
}

void* grown(void* block, size_t count, size_t size) {
  void* bigger = realloc(block, count * size);
  if (bigger == nullptr) {
    failOutOfMemory();
  }
  return bigger;
}

// Room for one more record, and slots for twice as many as there are.
void makeRoomForRecord() {
  if (recordCount == recordCapacity) {
    recordCapacity = recordCapacity == 0 ? kFirstRecords : recordCapacity * 2;
    records = static_cast<FolderRecord*>(grown(records, recordCapacity, sizeof(FolderRecord)));
  }
  if (2 * (recordCount + 1) <= slotCount) {
    return;
  }
  slotCount = slotCount == 0 ? 2 * kFirstRecords : slotCount * 2;
  free(slots);
  slots = static_cast<size_t*>(calloc(slotCount, sizeof(size_t)));
  if (slots == nullptr) {
    failOutOfMemory();
  }
  for (size_t i = 0; i < recordCount; ++i) {
    slots[slotOf(records[i].relative, records[i].units)] = i + 1;
  }
}

wchar_t* copyOf(const wchar_t* text, size_t units) {
  auto* copy = static_cast<wchar_t*>(malloc((units + 1) * sizeof(wchar_t)));
  if (copy == nullptr) {
    failOutOfMemory();
  }
  wmemcpy(copy, text, units);
  copy[units] = L'\0';
  return copy;
}

// Records the folder open as `handle`, whose final path is in `finalPath` and whose index on its
// volume is `index`.
const HeldFolder& addRecord(const wchar_t* relative, size_t units, size_t parent, HANDLE handle,
                            uint64_t index, bool made) {
  makeRoomForRecord();
  FolderRecord& record = records[recordCount];
  record.relative = copyOf(relative, units);
  record.units = units;
  record.parent = parent;
  record.folder = HeldFolder{handle, copyOf(finalPath, wcslen(finalPath)), made};
  record.index = index;
  slots[slotOf(relative, units)] = ++recordCount;
  return record.folder;
}

// Closes every held folder and forgets them all.
void forgetHeldFolders() {
  for (size_t i = 0; i < recordCount; ++i) {
    if (records[i].folder.handle != nullptr) {
      CloseHandle(records[i].folder.handle);
    }
    free(records[i].relative);
    free(const_cast<wchar_t*>(records[i].folder.finalPath));
  }
  recordCount = 0;
  targetFolder.handle = nullptr;
  for (size_t i = 0; i < slotCount; ++i) {
    slots[i] = 0;
  }
}

// The target directory, a backslash and `relative`: the folder's path for a message.
const wchar_t* pathOf(const FolderRecord& record) {
  copyBounded(folderPath, kPathUnits, targetPath);
  if (record.units > 0) {
    appendBounded(folderPath, kPathUnits, L"\\");
    appendBounded(folderPath, kPathUnits, record.relative);
  }
  return folderPath;
}

// Holds (or with `make` false only finds) the folder `relative` (`units` long) below the
// target directory and every folder above it. Null, with nothing held, when a folder is missing
// (not made), cannot be opened or is no plain folder of its parent.
const HeldFolder* holdFolder(const wchar_t* relative, size_t units, bool make) {
  size_t found = findRecord(relative, units);
  if (found != kNoRecord) {
    return records[found].folder.handle != nullptr ? &records[found].folder : nullptr;
  }
  if (units == 0) {
    return nullptr;
  }
  size_t parentLength = folderAboveUnits(relative, units);
  const HeldFolder* parent = holdFolder(relative, parentLength, make);
  if (parent == nullptr) {
    return nullptr;
  }
  size_t parentRecord = findRecord(relative, parentLength);
  const wchar_t* leaf = relative + lastComponentStart(relative, units);
  size_t leafUnits = units - lastComponentStart(relative, units);
  bool made = false;
  const RelativeOpen& how = make ? kHoldFolder : removing ? kFindFolderToRemove : kFindFolder;
  HANDLE handle = openRelative(parent->handle, leaf, leafUnits, how, &made);
  if (handle == nullptr) {
    return nullptr;
  }
  uint64_t index = 0;
  if (!isPlainEntry(handle, /* folder */ true) || !readFinalPath(handle, finalPath) ||
      !isFinalPathBelow(finalPath, parent->finalPath, leaf, leafUnits) ||
      !readFileIndex(handle, &index)) {
    CloseHandle(handle);
    return nullptr;
  }
  return &addRecord(relative, units, parentRecord, handle, index, made);
}

// The units of an entry name before its last backslash: the relative path of its folder.
size_t folderUnitsOf(const wchar_t* name) {
  return folderAboveUnits(name, wcslen(name));
}

// Opens the folder of `record` again as `how` says, by its name in the folder above it (by its
// path for the target directory, which may be reached through links); null when it cannot.
HANDLE reopenFolder(const FolderRecord& record, const RelativeOpen& how) {
  if (record.parent != kNoRecord) {
    const size_t leaf = lastComponentStart(record.relative, record.units);
    return openRelative(records[record.parent].folder.handle, record.relative + leaf,
                        record.units - leaf, how);
  }
  HANDLE folder = CreateFileW(targetPath, how.access, how.sharing, /* security */ nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, /* template */ nullptr);
  return folder == INVALID_HANDLE_VALUE ? nullptr : folder;
}

bool isRecordedFolder(HANDLE folder, const FolderRecord& record) {
  uint64_t index = 0;
  return readFileIndex(folder, &index) && index == record.index;
}

// Whether the held folder of `record` is the one its name leads to now.
bool isInPlace(const FolderRecord& record) {
  HANDLE found = reopenFolder(record, kIdentifyFolder);
  if (found == nullptr) {
    return false;
  }
  bool same = isRecordedFolder(found, record);
  CloseHandle(found);
  return same;
}

// Opens and records the existing target directory; false when it cannot be opened or is no
// folder. It may be reached through links.
bool openTargetDirectory(const wchar_t* targetDirectory, bool made) {
  copyBounded(targetPath, kPathUnits, targetDirectory);
  HANDLE handle =
      CreateFileW(targetDirectory, kFolderAccess, kFolderSharing, /* security */ nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, /* template */ nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  FILE_BASIC_INFO basic;
  if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) ||
      (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || !readFinalPath(handle, finalPath) ||
      !readFileIndex(handle, &targetIndex)) {
    CloseHandle(handle);
    return false;
  }
  targetFolder = addRecord(L"", 0, kNoRecord, handle, targetIndex, made);
  return true;
}

}  // namespace

const HeldFolder& holdTargetDirectory(const wchar_t* targetDirectory, const wchar_t* destination) {
  if (recordCount == 0) {
    // As for a file in it: the directory itself is tried first, its parents only when that fails.
    const bool made =
        createDirectoryCached(targetDirectory) ||
        (ensureParentDirectories(targetDirectory) && createDirectoryCached(targetDirectory));
    if (!made || !openTargetDirectory(targetDirectory, wasMadeThisRun(targetDirectory))) {
      failOpenForWriting(destination);
    }
  }
  return records[0].folder;
}

bool findTargetDirectory(const wchar_t* targetDirectory) {
  if (recordCount == 0) {
    return openTargetDirectory(targetDirectory, /* made */ false);
  }
  return true;
}

const HeldFolder& holdEntryFolder(const wchar_t* name, const wchar_t* destination) {
  const HeldFolder* folder = holdFolder(name, folderUnitsOf(name), /* make */ true);
  if (folder == nullptr) {
    failOpenForWriting(destination);
  }
  return *folder;
}

const HeldFolder* findEntryFolder(const wchar_t* name) {
  return holdFolder(name, folderUnitsOf(name), /* make */ false);
}

const HeldFolder* heldEntryFolder(const wchar_t* name) {
  size_t found = findRecord(name, folderUnitsOf(name));
  return found == kNoRecord ? nullptr : &records[found].folder;
}

bool isPlainFileOf(HANDLE file, const HeldFolder& folder, const wchar_t* name) {
  return isPlainEntry(file, /* folder */ false) &&
         isNamedBelow(file, folder.finalPath, name, wcslen(name));
}

FileRemoval removePlainFile(const HeldFolder& folder, const wchar_t* name) {
  HANDLE file = openRelative(folder.handle, name, wcslen(name), kRemoveFile);
  if (file == nullptr) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? FileRemoval::kGone : FileRemoval::kStays;
  }
  FileRemoval removal = FileRemoval::kNotPlain;
  if (isPlainFileOf(file, folder, name)) {
    removal = markForDeletion(file) ? FileRemoval::kGone : FileRemoval::kStays;
  }
  CloseHandle(file);
  return removal;
}

const wchar_t* entryLeaf(const wchar_t* name) {
  return name + lastComponentStart(name, wcslen(name));
}

const HeldFolder* heldTargetDirectory() {
  return targetFolder.handle != nullptr ? &targetFolder : nullptr;
}

size_t heldFolderCount() {
  return recordCount;
}

const HeldFolder& heldFolderAt(size_t index) {
  return records[index].folder;
}

void checkHeldFoldersInPlace() {
  for (size_t i = 0; i < recordCount; ++i) {
    if (records[i].folder.handle != nullptr && !isInPlace(records[i])) {
      failOpenForWriting(pathOf(records[i]));
    }
  }
}

bool isHeldFolderInPlace(const HeldFolder& folder) {
  for (size_t i = 0; i < recordCount; ++i) {
    if (&records[i].folder == &folder) {
      return isInPlace(records[i]);
    }
  }
  return false;
}

void keepTargetDirectoryInUse() {
  if (recordCount > 0) {
    inUseMark = records[0].folder.handle;
    records[0].folder.handle = nullptr;
  }
  forgetHeldFolders();
}

void releaseInUseMark() {
  if (inUseMark != nullptr) {
    CloseHandle(inUseMark);
    inUseMark = nullptr;
  }
}

uint64_t heldTargetIndex() {
  return targetIndex;
}

void releaseHeldFolders() {
  targetFolder.handle = nullptr;
  for (size_t i = 0; i < recordCount; ++i) {
    if (records[i].folder.handle != nullptr) {
      CloseHandle(records[i].folder.handle);
      records[i].folder.handle = nullptr;
    }
  }
}

void holdCopyForRemoval(HANDLE root, const wchar_t* rootFinalPath) {
  forgetHeldFolders();
  removing = true;
  copyBounded(finalPath, kFinalPathUnits, rootFinalPath);
  targetFolder = addRecord(L"", 0, kNoRecord, root, /* index */ 0, /* made */ false);
}

bool removeHeldFolders() {
  // Records are made parents first, so the folders below come before theirs backwards; a
  // folder's deletion is done when its handle closes, before the one above is tried.
  bool rootRemoved = false;
  for (size_t i = recordCount; i > 0; --i) {
    HANDLE& folder = records[i - 1].folder.handle;
    if (folder != nullptr) {
      const bool removed = markForDeletion(folder);
      CloseHandle(folder);
      folder = nullptr;
      rootRemoved = i == 1 && removed;
    }
  }
  forgetHeldFolders();
  removing = false;
  return rootRemoved;
}

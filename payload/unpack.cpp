#include "payload/unpack.h"

#include <windows.h>
#include <zlib.h>  // crc32 of file data, as the packer computed it

#include <cstdint>

#include "diagnostics/fatal.h"
#include "diagnostics/progress_window.h"
#include "paths/path_buffer.h"
#include "payload/copy_record.h"
#include "payload/entry_table.h"
#include "payload/existing_file.h"
#include "payload/file_completion.h"
#include "payload/held_folders.h"
#include "payload/leftovers.h"
#include "payload/partial_file.h"
#include "payload/payload_reader.h"
#include "payload/relative_files.h"
#include "payload/sibling_folders.h"
#include "payload/table_verification.h"
#include "payload/target_lock.h"
#include "rules/entry_name.h"
#include "rules/little_endian.h"
#include "rules/payload_format.h"

namespace {

// Folders beside the target directory looked into for copies to link files from: the latest
// written, so that a start beside thousands of other folders reads a few.
constexpr size_t kMostFoldersLookedInto = 16;

wchar_t programPath[kPathUnits];
wchar_t entryName[kNameBufferUnits];
wchar_t destinationPath[kPathUnits];

// The start's target directory, payload and options, and whether it put a file into the target
// directory. The target is held only once a file is to be put there.
const wchar_t* target;
AttachedPayload payload;
UnpackOptions options;
bool filesPut;
bool recordWritten;
// The partial file being written, until it is handed over to be completed.
HANDLE fileInProgress;

// The next field of the entry stream: a name unit (uint16_t), a size (uint64_t) or a stored
// checksum (uint32_t).
template <typename Unsigned>
Unsigned readField() {
  unsigned char bytes[sizeof(Unsigned)];
  readPayloadBytes(bytes, sizeof bytes);
  return readLittleEndian<Unsigned>(bytes);
}

// Reads the next entry's name into `name` (kNameBufferUnits units) and returns its length: 0
// at the terminator. A name too long for the buffer cannot come from a sound payload.
size_t readEntryName(wchar_t* name) {
  size_t units = 0;
  for (auto unit = readField<uint16_t>(); unit != kNameTerminator; unit = readField<uint16_t>()) {
    if (units == kMaxNameUnits) {
      failDecode();
    }
    name[units++] = static_cast<wchar_t>(unit);
  }
  name[units] = L'\0';
  return units;
}

// The destination path of the entry `name` into `path` (kPathUnits units).
void buildDestinationPath(const wchar_t* name, wchar_t* path) {
  if (!joinPath(path, kPathUnits, target, name)) {
    endAbnormally();
  }
}

// A file in a folder this run made cannot be there yet: a first start asks nothing of the
// files it is about to write; nor can one below a target directory that is not there.
bool fileAlreadyHoldsEntry(const wchar_t* name, uint64_t size, uint32_t stored) {
  const HeldFolder* folder = heldEntryFolder(name);
  const HeldFolder* target = heldTargetDirectory();
  return (folder == nullptr || !folder->made) && target != nullptr &&
         fileHoldsEntry(target->handle, name, size, stored);
}

// Writes `count` bytes to `file`. A write may succeed having written fewer bytes than asked (Wine's
// on a full disk): the rest goes again, and a write that takes none fails as the disk being full,
// so that no file is ever left shorter than its data.
void writeWhole(HANDLE file, const unsigned char* bytes, size_t count) {
  while (count > 0) {
    DWORD written = 0;
    if (!WriteFile(file, bytes, static_cast<DWORD>(count), &written, /* overlapped */ nullptr)) {
      failUnpack();
    }
    if (written == 0) {
      SetLastError(ERROR_DISK_FULL);
      failUnpack();
    }
    bytes += written;
    count -= written;
  }
}

// The record of a copy for one start is written before its first file, so that a start that
// ends in any way leaves a copy that later starts know to remove; every other record after the
// files (see finishCopy).
void recordCopyForOneStart() {
  if (options.recordCopy && (options.recordFlags & kCopyForOneStart) != 0 && !recordWritten) {
    writeCopyRecord(payload.table, payload.tableLength, options.recordFlags);
    recordWritten = true;
  }
}

// Writes the entry's data from the reader into `file`, or drops it when the file already holds
// it (null): the stream must be consumed to reach the next entry either way. Data that is
// written must match its stored checksum, so that damage the decoder cannot see never passes
// for the application's files.
void copyEntryData(uint64_t size, uint32_t stored, HANDLE file) {
  uLong crc = crc32(0, nullptr, 0);
  for (uint64_t remaining = size; remaining > 0;) {
    size_t count;
    const unsigned char* bytes = takePayloadBytes(remaining, &count);
    if (file != nullptr) {
      writeWhole(file, bytes, count);
      addProgress(count);
      crc = crc32(crc, bytes, static_cast<uInt>(count));
    }
    remaining -= count;
  }
  if (file != nullptr && storedChecksum(static_cast<uint32_t>(crc)) != stored) {
    failDecode();
  }
}

// Writes the entry `name` under its partial name in its held folder; it is renamed into place
// while the next ones are written.
void writeEntry(const wchar_t* name, uint64_t size, uint32_t stored) {
  holdTargetDirectory(target, destinationPath);
  recordCopyForOneStart();
  const HeldFolder& folder = holdEntryFolder(name, destinationPath);
  HANDLE file = createPartialFile(folder, entryLeaf(name), destinationPath);
  filesPut = true;
  fileInProgress = file;
  copyEntryData(size, stored, file);
  completeInTurn(file, folder, entryLeaf(name), lastPartialName(), destinationPath);
  fileInProgress = nullptr;
}

// Reads the region's entries. While they are the table's, one by one (`followTable`), each
// file's state is the one the table's files were found in, and reading stops after the last
// file to write: the files after it are in place. From the first entry that is not the table's
// on, every file is checked as it comes, to the region's end.
void unpackRegion(bool followTable) {
  programPath[0] = L'\0';
  TableWalk walk = beginTableWalk();
  uint64_t toWrite = followTable ? checkableEntries() - tableFilesIn(FileState::kInPlace) : 0;
  openPayload(payload.region, payload.regionLength);
  for (;;) {
    size_t units = readEntryName(entryName);
    if (units == 0) {
      break;
    }
    // The frame carries no checksum of its own, so damage the decoder cannot see reaches the
    // entry stream as plausible bytes. A name that could lead outside the target directory, a
    // device, or a name no file can have is refused like any other undecodable data.
    if (!isCreatableEntryName(entryName, units)) {
      failDecode();
    }
    buildDestinationPath(entryName, destinationPath);
    if (programPath[0] == L'\0') {
      copyBounded(programPath, kPathUnits, destinationPath);
    }
    auto size = readField<uint64_t>();
    auto stored = readField<uint32_t>();
    followTable = followTable && nextCheckableEntry(&walk) &&
                  isTableEntry(walk.entry, entryName, units, size, stored);
    const bool write = followTable ? tableFileState(walk.index) != FileState::kInPlace
                                   : !fileAlreadyHoldsEntry(entryName, size, stored);
    if (write) {
      writeEntry(entryName, size, stored);
    } else {
      copyEntryData(size, stored, /* file */ nullptr);
    }
    if (followTable && write && --toWrite == 0) {
      break;
    }
  }
  awaitCompletedFiles();
  closePayload();
}

// Whether the folder open as `sibling` has a file of the name of one of the first kProbedNames
// missing files: a copy of another version that shares nothing is not looked at file by file.
bool mayHoldMissingFiles(HANDLE sibling) {
  constexpr uint64_t kProbedNames = 3;
  static const RelativeOpen kProbe{FILE_READ_ATTRIBUTES, kAnySharing, FILE_OPEN, 0};
  uint64_t probed = 0;
  for (TableWalk walk = beginTableWalk(); probed < kProbedNames && nextCheckableEntry(&walk);) {
    if (tableFileState(walk.index) != FileState::kMissing) {
      continue;
    }
    ++probed;
    const size_t units = copyTableName(walk.entry, entryName);
    HANDLE found = openRelative(sibling, entryName, units, kProbe);
    if (found != nullptr) {
      CloseHandle(found);
      return true;
    }
  }
  return false;
}

// Holds the folder of every missing file, before threads look for them.
void holdMissingFilesFolders() {
  for (TableWalk walk = beginTableWalk(); nextCheckableEntry(&walk);) {
    if (tableFileState(walk.index) == FileState::kMissing) {
      copyTableName(walk.entry, entryName);
      buildDestinationPath(entryName, destinationPath);
      holdTargetDirectory(target, destinationPath);
      holdEntryFolder(entryName, destinationPath);
    }
  }
}

// Links the missing files from the copies of the application beside the target directory that
// hold their entries, the latest recorded first.
void linkFromSiblingFolders() {
  size_t siblings = findSiblingCopies(target, kMostFoldersLookedInto, /* with target */ false);
  siblings = siblings < kMostSiblingFolders ? siblings : kMostSiblingFolders;
  bool held = false;
  for (size_t i = 0; i < siblings && tableFilesIn(FileState::kMissing) > 0; ++i) {
    if (!mayHoldMissingFiles(siblingCopyFolder(i))) {
      continue;
    }
    if (!held) {
      holdMissingFilesFolders();
      held = true;
    }
    const uint64_t missing = tableFilesIn(FileState::kMissing);
    linkTableFilesFrom(siblingCopyFolder(i), siblingCopyFinalPath(i));
    filesPut = filesPut || tableFilesIn(FileState::kMissing) < missing;
  }
  releaseSiblingCopies();
}

// A start whose table stands for the region: the files are checked first, missing ones taken
// from folders beside the target directory where they may, and the region read only as far as
// the last file still to write.
void unpackWithTable() {
  checkTableFiles();
  const bool allInPlace = tableFilesIn(FileState::kInPlace) == checkableEntries();
  if (tableStop() != TableStop::kNone) {
    // Every file before the entry the table stops at may be in place. A name no file may have
    // sends the start to the region, whose unpacking refuses it; a path too long is a bound
    // exceeded.
    if (allInPlace && tableStop() == TableStop::kPathTooLong) {
      endAbnormally();
    }
    unpackRegion(/* follow table */ false);
    return;
  }
  if (options.linkFromSiblings && tableFilesIn(FileState::kMissing) > 0) {
    linkFromSiblingFolders();
  }
  if (tableFilesIn(FileState::kInPlace) < checkableEntries()) {
    beginProgress(tableBytesToWrite());
    unpackRegion(/* follow table */ true);
  }
}

// The target directory holds the copy now: it is held from here on (the mark that a start uses
// it, see keepTargetDirectoryInUse), every folder written into is checked to be in place, and a
// start that put files there records the copy.
void finishCopy() {
  if (heldTargetDirectory() == nullptr) {
    findTargetDirectory(target);
  }
  if (options.recordCopy && filesPut && !recordWritten) {
    writeCopyRecord(payload.table, payload.tableLength, options.recordFlags);
  }
  checkHeldFoldersInPlace();
}

}  // namespace

void abandonUnpacking() {
  settleHandedOverFiles();
  if (fileInProgress != nullptr) {
    markForDeletion(fileInProgress);
    CloseHandle(fileInProgress);
    fileInProgress = nullptr;
  }
}

const wchar_t* unpackPayload(const wchar_t* targetDirectory, const AttachedPayload& attached,
                             const UnpackOptions& unpackOptions) {
  target = targetDirectory;
  payload = attached;
  options = unpackOptions;
  checkPayloadHeader(payload.region, payload.regionLength);
  lockTargetDirectory(targetDirectory);
  findTargetDirectory(targetDirectory);
  programPath[0] = L'\0';
  if (openTableFiles(targetDirectory, payload.table, payload.tableLength, programPath)) {
    unpackWithTable();
    removeLeftovers();
  } else {
    unpackRegion(/* follow table */ false);
  }
  finishCopy();
  unlockTargetDirectory();
  return programPath;
}

#include "payload/unpack.h"

#include <windows.h>
#include <zlib.h>  // crc32 of file data, as the packer computed it

#include <cstdint>

#include "diagnostics/fatal.h"
#include "paths/path_buffer.h"
#include "payload/directories.h"
#include "payload/entry_name.h"
#include "payload/existing_file.h"
#include "payload/little_endian.h"
#include "payload/partial_file.h"
#include "payload/payload_format.h"
#include "payload/payload_reader.h"
#include "payload/table_verification.h"
#include "payload/target_lock.h"

namespace {

wchar_t programPath[kPathUnits];
wchar_t entryName[kNameBufferUnits];
size_t entryNameUnits;
wchar_t destinationPath[kPathUnits];

// The next field of the entry stream: a name unit (uint16_t), a size (uint64_t) or a stored
// checksum (uint32_t).
template <typename Unsigned>
Unsigned readField() {
  unsigned char bytes[sizeof(Unsigned)];
  readPayloadBytes(bytes, sizeof bytes);
  return readLittleEndian<Unsigned>(bytes);
}

// Reads the next entry's name; false at the terminator. A name too long for the buffer cannot
// come from a sound payload.
bool readEntryName() {
  entryNameUnits = 0;
  for (auto unit = readField<uint16_t>(); unit != kNameTerminator; unit = readField<uint16_t>()) {
    if (entryNameUnits == kMaxNameUnits) {
      failDecode();
    }
    entryName[entryNameUnits++] = static_cast<wchar_t>(unit);
  }
  entryName[entryNameUnits] = L'\0';
  return entryNameUnits > 0;
}

// The frame carries no checksum of its own, so damage the decoder cannot see reaches the entry
// stream as plausible bytes. A name that could lead outside the target directory (a drive, a
// forward slash, an empty component, or one of only dots and blanks, which Windows would read
// as "." or ".."), a device, or a name no file can have is refused like any other undecodable
// data.
bool isCreatableEntry() {
  return isCreatableEntryName(entryName, entryNameUnits);
}

// The destination path of the entry name, and the program path when it is the first entry.
void buildDestinationPath(const wchar_t* targetDirectory) {
  copyBounded(destinationPath, kPathUnits, targetDirectory);
  appendBounded(destinationPath, kPathUnits, L"\\");
  appendBounded(destinationPath, kPathUnits, entryName);
  if (programPath[0] == L'\0') {
    copyBounded(programPath, kPathUnits, destinationPath);
  }
}

// Opens the entry's file for writing, under its partial name. A folder on the way that cannot
// be made, or that is a link below the target directory, leaves the file unwritable.
HANDLE createOutputFile() {
  if (!ensureParentDirectories(destinationPath)) {
    failOpenForWriting(destinationPath);
  }
  return createPartialFile(destinationPath, isInFolderMadeThisRun(destinationPath));
}

// A file in a folder this run made cannot be there yet: a first start asks nothing of the
// files it is about to write.
bool fileAlreadyHoldsEntry(uint64_t size, uint32_t stored) {
  return !isInFolderMadeThisRun(destinationPath) && fileHoldsEntry(destinationPath, size, stored);
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
      DWORD written;
      if (!WriteFile(file, bytes, static_cast<DWORD>(count), &written, /* overlapped */ nullptr)) {
        failUnpack();
      }
      crc = crc32(crc, bytes, static_cast<uInt>(count));
    }
    remaining -= count;
  }
  if (file != nullptr && storedChecksum(static_cast<uint32_t>(crc)) != stored) {
    failDecode();
  }
}

void unpackEntry(const wchar_t* targetDirectory) {
  if (!isCreatableEntry()) {
    failDecode();
  }
  buildDestinationPath(targetDirectory);
  auto size = readField<uint64_t>();
  auto stored = readField<uint32_t>();
  HANDLE file = fileAlreadyHoldsEntry(size, stored) ? nullptr : createOutputFile();
  copyEntryData(size, stored, file);
  if (file != nullptr) {
    completePartialFile(file, destinationPath);
  }
}

void unpackRegion(const wchar_t* targetDirectory, const AttachedPayload& payload) {
  programPath[0] = L'\0';
  openPayloadRegion(payload.region, payload.regionLength);
  while (readEntryName()) {
    unpackEntry(targetDirectory);
  }
  closePayload();
}

}  // namespace

const wchar_t* unpackPayload(const wchar_t* targetDirectory, const AttachedPayload& payload) {
  checkPayloadHeader(payload.region, payload.regionLength);
  lockTargetDirectory(targetDirectory);
  guardFoldersBelow(targetDirectory);
  if (!tableEntriesInPlace(targetDirectory, payload.table, payload.tableLength, programPath)) {
    unpackRegion(targetDirectory, payload);
  }
  unlockTargetDirectory();
  return programPath;
}

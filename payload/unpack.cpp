#include "payload/unpack.h"

#include <windows.h>
#include <zlib.h>  // crc32 of file data, as the packer computed it

#include <cstdint>

#include "diagnostics/fatal.h"
#include "paths/path_buffer.h"
#include "payload/directories.h"
#include "payload/existing_file.h"
#include "payload/partial_file.h"
#include "payload/payload_reader.h"
#include "payload/table_verification.h"
#include "payload/target_lock.h"
#include "rules/entry_name.h"
#include "rules/little_endian.h"
#include "rules/payload_format.h"

namespace {

wchar_t programPath[kPathUnits];
wchar_t entryName[kNameBufferUnits];
wchar_t destinationPath[kPathUnits];

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

// The frame carries no checksum of its own, so damage the decoder cannot see reaches the entry
// stream as plausible bytes. A name that could lead outside the target directory (a drive, a
// forward slash, an empty component, or one of only dots and blanks, which Windows would read
// as "." or ".."), a device, or a name no file can have is refused like any other undecodable
// data.
bool isCreatableEntry(const wchar_t* name, size_t units) {
  return isCreatableEntryName(name, units);
}

// The destination path of the entry `name` into `path` (kPathUnits units), and the program
// path when it is the first entry.
void buildDestinationPath(const wchar_t* targetDirectory, const wchar_t* name, wchar_t* path) {
  copyBounded(path, kPathUnits, targetDirectory);
  appendBounded(path, kPathUnits, L"\\");
  appendBounded(path, kPathUnits, name);
  if (programPath[0] == L'\0') {
    copyBounded(programPath, kPathUnits, path);
  }
}

// Opens the file at `path` for writing, under its partial name. A folder on the way that cannot
// be made, or that is a link below the target directory, leaves the file unwritable.
HANDLE createOutputFile(const wchar_t* path) {
  if (!ensureParentDirectories(path)) {
    failOpenForWriting(path);
  }
  return createPartialFile(path, isInFolderMadeThisRun(path));
}

// A file in a folder this run made cannot be there yet: a first start asks nothing of the
// files it is about to write.
bool fileAlreadyHoldsEntry(const wchar_t* path, uint64_t size, uint32_t stored) {
  return !isInFolderMadeThisRun(path) && fileHoldsEntry(path, size, stored);
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

// Unpacks the entry `name` (`units` long), whose size and checksum come next in the stream.
void unpackEntry(const wchar_t* targetDirectory, const wchar_t* name, size_t units) {
  if (!isCreatableEntry(name, units)) {
    failDecode();
  }
  buildDestinationPath(targetDirectory, name, destinationPath);
  auto size = readField<uint64_t>();
  auto stored = readField<uint32_t>();
  HANDLE file = fileAlreadyHoldsEntry(destinationPath, size, stored)
                    ? nullptr
                    : createOutputFile(destinationPath);
  copyEntryData(size, stored, file);
  if (file != nullptr) {
    completePartialFile(file, destinationPath);
  }
}

void unpackRegion(const wchar_t* targetDirectory, const AttachedPayload& payload) {
  programPath[0] = L'\0';
  openPayloadRegion(payload.region, payload.regionLength);
  for (size_t units; (units = readEntryName(entryName)) > 0;) {
    unpackEntry(targetDirectory, entryName, units);
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

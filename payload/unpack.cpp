#include "payload/unpack.h"

#include <windows.h>
#include <zlib.h>  // crc32 of file data, as the packer computed it

#include <cstdint>
#include <cwchar>

#include "diagnostics/fatal.h"
#include "paths/expand_spec.h"
#include "paths/path_buffer.h"
#include "payload/entry_table.h"
#include "payload/existing_file.h"
#include "payload/payload_format.h"
#include "payload/payload_reader.h"
#include "payload/target_lock.h"

namespace {

constexpr wchar_t kHomeSpec[] = L"{HOME}";

wchar_t programPath[kPathUnits];
wchar_t entryName[kNameBufferUnits];
wchar_t destinationPath[kPathUnits];
wchar_t* knownDirectories[kKnownDirectoryCount];
size_t knownDirectoryCount;

uint16_t readNameUnit() {
  unsigned char bytes[kNameUnitBytes];
  readPayloadBytes(bytes, kNameUnitBytes);
  return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

uint64_t readLittleEndian(size_t bytes) {
  unsigned char field[kSizeFieldBytes];
  readPayloadBytes(field, bytes);
  uint64_t value = 0;
  for (size_t i = bytes; i > 0; --i) {
    value = value << 8 | field[i - 1];
  }
  return value;
}

// Reads the next entry's name; false at the terminator. A name too long for the buffer cannot
// come from a sound payload.
bool readEntryName() {
  size_t length = 0;
  for (uint16_t unit = readNameUnit(); unit != kNameTerminator; unit = readNameUnit()) {
    if (length == kMaxNameUnits) {
      failDecode();
    }
    entryName[length++] = static_cast<wchar_t>(unit);
  }
  entryName[length] = L'\0';
  return length > 0;
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

HANDLE createOutputFile() {
  ensureParentDirectories(destinationPath);
  HANDLE file = CreateFileW(destinationPath, GENERIC_WRITE, FILE_SHARE_WRITE,
                            /* security */ nullptr, CREATE_ALWAYS, /* attributes */ 0,
                            /* template */ nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    failOpenForWriting(destinationPath);
  }
  return file;
}

// Characters that no Windows file name holds, beside the control characters.
constexpr wchar_t kReservedNameCharacters[] = L"<>:\"/|?*";
constexpr wchar_t kFirstPrintable = 0x20;

// The frame carries no checksum of its own, so damage the decoder cannot see reaches the entry
// stream as plausible bytes. A name that could lead outside the target directory (a drive, a
// forward slash, an empty component, or one of only dots and blanks, which Windows would read
// as "." or "..") or that no file can have is refused like any other undecodable data.
bool isSafeEntryName(const wchar_t* name) {
  const wchar_t* component = name;
  for (const wchar_t* c = name;; ++c) {
    if (*c != L'\0' && (*c < kFirstPrintable || wcschr(kReservedNameCharacters, *c) != nullptr)) {
      return false;
    }
    if (*c == L'\\' || *c == L'\0') {
      if (c == component || c[-1] == L'.' || c[-1] == L' ') {
        return false;
      }
      if (*c == L'\0') {
        return true;
      }
      component = c + 1;
    }
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
  if (!isSafeEntryName(entryName)) {
    failDecode();
  }
  buildDestinationPath(targetDirectory);
  uint64_t size = readLittleEndian(kSizeFieldBytes);
  uint32_t stored = static_cast<uint32_t>(readLittleEndian(kChecksumFieldBytes));
  HANDLE file = fileHoldsEntry(destinationPath, size, stored) ? nullptr : createOutputFile();
  copyEntryData(size, stored, file);
  if (file != nullptr) {
    CloseHandle(file);
  }
}

// Copies a table entry's name into the entry name buffer; false when it is no name a launcher
// may create.
bool takeTableName(const TableEntry& entry) {
  for (size_t i = 0; i < entry.nameUnits; ++i) {
    entryName[i] = static_cast<wchar_t>(tableNameUnit(entry, i));
  }
  entryName[entry.nameUnits] = L'\0';
  return isSafeEntryName(entryName);
}

// True when the entry table is sound and every file it lists is on disk as it describes it;
// sets the program path as the full unpacking would. A table can only stand for the region it
// was made from, which the packer checks: any doubt sends the start to the region.
bool entriesInPlace(const wchar_t* targetDirectory, const AttachedPayload& payload) {
  TableCursor cursor;
  if (!openEntryTable(payload.table, payload.tableLength, &cursor)) {
    return false;
  }
  for (TableEntry entry; nextTableEntry(&cursor, &entry);) {
    if (!takeTableName(entry)) {
      return false;
    }
    buildDestinationPath(targetDirectory);
    if (!fileHoldsEntry(destinationPath, entry.size, entry.storedChecksum)) {
      return false;
    }
  }
  return true;
}

void unpackRegion(const wchar_t* targetDirectory, const AttachedPayload& payload) {
  programPath[0] = L'\0';
  openPayloadRegion(payload.region, payload.regionLength);
  while (readEntryName()) {
    unpackEntry(targetDirectory);
  }
  closePayload();
}

bool isKnownDirectory(const wchar_t* directory) {
  for (size_t i = 0; i < knownDirectoryCount; ++i) {
    if (wcscmp(knownDirectories[i], directory) == 0) {
      return true;
    }
  }
  return false;
}

// A copy that cannot be allocated is not remembered: the directory is then only asked for
// again, which is harmless.
void rememberDirectory(const wchar_t* directory) {
  if (knownDirectoryCount == kKnownDirectoryCount) {
    return;
  }
  wchar_t* copy = _wcsdup(directory);
  if (copy != nullptr) {
    knownDirectories[knownDirectoryCount++] = copy;
  }
}

// The walk up the tree stops at the user's home directory without asking the system.
void seedKnownDirectories() {
  wchar_t home[kPathUnits];
  if (!expandSpec(home, kHomeSpec, kPathUnits)) {
    failSpecExpansion(kHomeSpec);
  }
  rememberDirectory(home);
}

bool isBareDrive(const wchar_t* directory) {
  return directory[0] != L'\0' && directory[1] == L':' && directory[2] == L'\0';
}

}  // namespace

const wchar_t* unpackPayload(const wchar_t* targetDirectory, const AttachedPayload& payload) {
  checkPayloadHeader(payload.region, payload.regionLength);
  lockTargetDirectory(targetDirectory);
  if (!entriesInPlace(targetDirectory, payload)) {
    unpackRegion(targetDirectory, payload);
  }
  unlockTargetDirectory();
  return programPath;
}

bool ensureParentDirectories(const wchar_t* path) {
  if (path == nullptr) {
    endAbnormally();
  }
  wchar_t directory[kPathUnits];
  copyBounded(directory, kPathUnits, path);
  // The first unit is never taken as the separator: "\name" has no parent to create.
  wchar_t* backslash = directory[0] == L'\0' ? nullptr : wcsrchr(directory + 1, L'\\');
  if (backslash == nullptr) {
    return true;
  }
  *backslash = L'\0';
  if (createDirectoryCached(directory)) {
    return true;
  }
  ensureParentDirectories(directory);
  return createDirectoryCached(directory);
}

bool createDirectoryCached(const wchar_t* directory) {
  if (knownDirectoryCount == 0) {
    seedKnownDirectories();
  }
  if (isKnownDirectory(directory) || isBareDrive(directory)) {
    return true;
  }
  if (!CreateDirectoryW(directory, /* security */ nullptr) &&
      GetLastError() != ERROR_ALREADY_EXISTS) {
    return false;
  }
  rememberDirectory(directory);
  return true;
}

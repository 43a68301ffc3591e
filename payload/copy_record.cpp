#include "payload/copy_record.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "configuration/launcher_values.h"
#include "payload/held_folders.h"
#include "payload/partial_file.h"
#include "payload/relative_files.h"
#include "rules/little_endian.h"
#include "rules/payload_format.h"

namespace {

constexpr unsigned char kRecordMagic[] = {'T', 'A', 'R', 'N', 'I', 'C', 'R', '1'};
constexpr size_t kRecordMagicBytes = sizeof kRecordMagic;
constexpr size_t kFlagsBytes = 4;
constexpr size_t kStringLengthBytes = 2;
constexpr size_t kTableLengthBytes = 4;
constexpr size_t kRecordChecksumBytes = 4;
// Far above any entry table a packer writes (every name of 1023 units, thousands of files):
// anything longer is not a record of this launcher's.
constexpr uint64_t kMostRecordBytes = uint64_t{64} << 20;

const RelativeOpen kCreateRecord{GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, /* sharing */ 0,
                                 FILE_CREATE, FILE_NON_DIRECTORY_FILE};
// Writers kept out, so that what is read is one record.
const RelativeOpen kReadRecord{GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, FILE_OPEN,
                               FILE_NON_DIRECTORY_FILE};

unsigned char* recordBytes;
size_t recordCapacity;
wchar_t partialName[kPathUnits];

// Room for `bytes` bytes in recordBytes; false when they cannot be had.
bool reserve(uint64_t bytes) {
  if (bytes > kMostRecordBytes) {
    return false;
  }
  if (bytes <= recordCapacity) {
    return true;
  }
  void* grown = realloc(recordBytes, static_cast<size_t>(bytes));
  if (grown == nullptr) {
    return false;
  }
  recordBytes = static_cast<unsigned char*>(grown);
  recordCapacity = static_cast<size_t>(bytes);
  return true;
}

// The three strings of a record, in their order.
const wchar_t* recordString(size_t index) {
  const wchar_t* const strings[] = {companyName(), productName(), targetSpec()};
  return strings[index];
}
constexpr size_t kRecordStrings = 3;

template <typename Unsigned>
size_t put(size_t at, Unsigned value) {
  for (size_t i = 0; i < sizeof value; ++i) {
    recordBytes[at + i] = static_cast<unsigned char>((value >> (8 * i)) & 0xFF);
  }
  return at + sizeof value;
}

// This launcher's record in recordBytes; its length, or 0 when it cannot be made.
size_t buildRecord(const unsigned char* table, uint64_t tableLength, uint32_t flags) {
  uint64_t length =
      kRecordMagicBytes + kFlagsBytes + kTableLengthBytes + tableLength + kRecordChecksumBytes;
  for (size_t i = 0; i < kRecordStrings; ++i) {
    length += kStringLengthBytes + wcslen(recordString(i)) * kNameUnitBytes;
  }
  if (tableLength > UINT32_MAX || !reserve(length)) {
    return 0;
  }
  memcpy(recordBytes, kRecordMagic, kRecordMagicBytes);
  size_t at = put(kRecordMagicBytes, flags);
  for (size_t i = 0; i < kRecordStrings; ++i) {
    const wchar_t* text = recordString(i);
    const size_t units = wcslen(text);
    if (units > UINT16_MAX) {
      return 0;
    }
    at = put(at, static_cast<uint16_t>(units));
    for (size_t unit = 0; unit < units; ++unit) {
      at = put(at, static_cast<uint16_t>(text[unit]));
    }
  }
  at = put(at, static_cast<uint32_t>(tableLength));
  memcpy(recordBytes + at, table, static_cast<size_t>(tableLength));
  at += static_cast<size_t>(tableLength);
  return put(at, crc32Of(recordBytes, at));
}

// A write may take fewer bytes than asked (Wine's on a full disk): the rest goes again, and a
// write that takes none fails.
bool writeAll(HANDLE file, const unsigned char* bytes, size_t length) {
  while (length > 0) {
    DWORD written = 0;
    if (!WriteFile(file, bytes, static_cast<DWORD>(length), &written, /* overlapped */ nullptr) ||
        written == 0) {
      return false;
    }
    bytes += written;
    length -= written;
  }
  return true;
}

bool readAll(HANDLE file, unsigned char* bytes, size_t length) {
  while (length > 0) {
    DWORD got = 0;
    if (!ReadFile(file, bytes, static_cast<DWORD>(length), &got, /* overlapped */ nullptr) ||
        got == 0) {
      return false;
    }
    bytes += got;
    length -= got;
  }
  return true;
}

// Whether the record's string at `*at` is `expected`; moves past it.
bool takeString(size_t length, size_t* at, const wchar_t* expected) {
  if (length - *at < kStringLengthBytes) {
    return false;
  }
  const size_t units = readLittleEndian<uint16_t>(recordBytes + *at);
  *at += kStringLengthBytes;
  if ((length - *at) / kNameUnitBytes < units || wcslen(expected) != units) {
    return false;
  }
  for (size_t unit = 0; unit < units; ++unit, *at += kNameUnitBytes) {
    if (readLittleEndian<uint16_t>(recordBytes + *at) != static_cast<uint16_t>(expected[unit])) {
      return false;
    }
  }
  return true;
}

// Whether the `length` bytes in recordBytes are a sound record of this launcher's application;
// fills the flags and names of `record`.
bool parseRecord(size_t length, CopyRecord* record) {
  if (length < kRecordMagicBytes + kFlagsBytes + kTableLengthBytes + kRecordChecksumBytes ||
      memcmp(recordBytes, kRecordMagic, kRecordMagicBytes) != 0) {
    return false;
  }
  const size_t checksumAt = length - kRecordChecksumBytes;
  if (readLittleEndian<uint32_t>(recordBytes + checksumAt) != crc32Of(recordBytes, checksumAt)) {
    return false;
  }
  record->flags = readLittleEndian<uint32_t>(recordBytes + kRecordMagicBytes);
  size_t at = kRecordMagicBytes + kFlagsBytes;
  for (size_t i = 0; i < kRecordStrings; ++i) {
    if (!takeString(checksumAt, &at, recordString(i))) {
      return false;
    }
  }
  if (checksumAt - at < kTableLengthBytes) {
    return false;
  }
  const uint64_t tableLength = readLittleEndian<uint32_t>(recordBytes + at);
  at += kTableLengthBytes;
  return checksumAt - at == tableLength &&
         openEntryTable(recordBytes + at, tableLength, &record->names);
}

}  // namespace

void writeCopyRecord(const unsigned char* table, uint64_t tableLength, uint32_t flags) {
  const HeldFolder* target = heldTargetDirectory();
  const size_t length = buildRecord(table, tableLength, flags);
  if (target == nullptr || length == 0 ||
      !nextPartialName(kCopyRecordName, kCopyRecordName, partialName)) {
    return;
  }
  HANDLE file = openRelative(target->handle, partialName, wcslen(partialName), kCreateRecord);
  if (file == nullptr) {
    return;
  }
  if (!writeAll(file, recordBytes, length) ||
      !renameRelative(file, target->handle, kCopyRecordName, kCopyRecordNameUnits,
                      /* replace */ true)) {
    markForDeletion(file);
  }
  CloseHandle(file);
}

bool readCopyRecord(HANDLE folder, const wchar_t* folderFinalPath, CopyRecord* record) {
  HANDLE file = openRelative(folder, kCopyRecordName, kCopyRecordNameUnits, kReadRecord);
  if (file == nullptr) {
    return false;
  }
  LARGE_INTEGER size;
  FILE_BASIC_INFO basic{};
  const bool sound = isPlainEntry(file, /* folder */ false) &&
                     isNamedBelow(file, folderFinalPath, kCopyRecordName, kCopyRecordNameUnits) &&
                     GetFileSizeEx(file, &size) &&
                     GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) &&
                     reserve(static_cast<uint64_t>(size.QuadPart)) &&
                     readAll(file, recordBytes, static_cast<size_t>(size.QuadPart)) &&
                     parseRecord(static_cast<size_t>(size.QuadPart), record);
  CloseHandle(file);
  record->writeTime = basic.LastWriteTime.QuadPart;
  return sound;
}

#include "rules/entry_table_reader.h"

#include <zlib.h>  // crc32 over the table, as the packer computed it

#include <cstring>

#include "rules/little_endian.h"
#include "rules/payload_format.h"

namespace {

bool hasNulUnit(const unsigned char* name, uint64_t units) {
  for (uint64_t i = 0; i < units; ++i) {
    if (readLittleEndian<uint16_t>(name + i * kNameUnitBytes) == kNameTerminator) {
      return true;
    }
  }
  return false;
}

// Walks the entries without reading their values; returns the offset after the last one, or 0
// when an entry does not lie within `end` or its name has no units, too many or a NUL.
uint64_t entriesEnd(const unsigned char* table, uint64_t end, uint32_t count) {
  uint64_t at = kTableHeaderBytes;
  for (uint32_t i = 0; i < count; ++i) {
    if (end - at < kTableEntryFixedBytes) {
      return 0;
    }
    uint64_t units = readLittleEndian<uint16_t>(table + at);
    const unsigned char* name = table + at + kTableNameLengthBytes;
    if (units == 0 || units > kMaxNameUnits ||
        end - at - kTableEntryFixedBytes < units * kNameUnitBytes || hasNulUnit(name, units)) {
      return 0;
    }
    at += kTableEntryFixedBytes + units * kNameUnitBytes;
  }
  return at;
}

}  // namespace

bool openEntryTable(const unsigned char* table, uint64_t length, TableCursor* cursor) {
  if (length < kTableHeaderBytes + kTableChecksumBytes ||
      memcmp(table, kTableMagic, kTableMagicBytes) != 0) {
    return false;
  }
  uint64_t checksumAt = length - kTableChecksumBytes;
  uint32_t count = readLittleEndian<uint32_t>(table + kTableMagicBytes);
  if (entriesEnd(table, checksumAt, count) != checksumAt ||
      readLittleEndian<uint32_t>(table + checksumAt) != crc32Of(table, checksumAt)) {
    return false;
  }
  *cursor = TableCursor{table, kTableHeaderBytes, count};
  return true;
}

bool nextTableEntry(TableCursor* cursor, TableEntry* entry) {
  if (cursor->entriesLeft == 0) {
    return false;
  }
  const unsigned char* at = cursor->table + cursor->at;
  entry->nameUnits = readLittleEndian<uint16_t>(at);
  entry->name = at + kTableNameLengthBytes;
  at = entry->name + entry->nameUnits * kNameUnitBytes;
  const uint64_t sizeField = readLittleEndian<uint64_t>(at);
  entry->size = entryFileBytes(sizeField);
  entry->filtered = isFilteredEntry(sizeField);
  entry->storedChecksum = readLittleEndian<uint32_t>(at + kSizeFieldBytes);
  cursor->at += kTableEntryFixedBytes + entry->nameUnits * kNameUnitBytes;
  --cursor->entriesLeft;
  return true;
}

uint16_t tableNameUnit(const TableEntry& entry, size_t index) {
  return readLittleEndian<uint16_t>(entry.name + index * kNameUnitBytes);
}

uint32_t crc32Of(const unsigned char* bytes, uint64_t length) {
  uLong crc = crc32(0, nullptr, 0);
  // zlib takes at most 4 GiB - 1 bytes a call.
  constexpr uint64_t kCrcStep = 1u << 30;
  for (uint64_t at = 0; at < length; at += kCrcStep) {
    uint64_t count = length - at < kCrcStep ? length - at : kCrcStep;
    crc = crc32(crc, bytes + at, static_cast<uInt>(count));
  }
  return static_cast<uint32_t>(crc);
}

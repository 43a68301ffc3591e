// Reading the entry table (layout in rules/payload_format.h). Shared by the launcher, which
// trusts nothing it finds there and falls back to decompressing the region, and the packer,
// which checks every table it places. No system calls.
#pragma once

#include <cstddef>
#include <cstdint>

struct TableEntry {
  const unsigned char* name;  // nameUnits UTF-16LE units, not terminated, not aligned
  uint16_t nameUnits;
  uint64_t size;  // of the file
  uint32_t storedChecksum;
  bool filtered;  // its region entry is a filtered one
};

// Position of the next entry in a table.
struct TableCursor {
  const unsigned char* table;
  uint64_t at;
  uint32_t entriesLeft;
};

// Checks the whole of `table` (`length` bytes): the magic, every entry within the table with a
// name of 1 to kMaxNameUnits units and no NUL unit, the checksum as the last field and nothing
// after it. On success points `cursor` at the first entry and returns true; a table of 0 bytes is
// no table.
bool openEntryTable(const unsigned char* table, uint64_t length, TableCursor* cursor);

// Reads the entry at the cursor of a table that openEntryTable accepted and moves past it.
// False when no entry is left.
bool nextTableEntry(TableCursor* cursor, TableEntry* entry);

// The `index`th unit of a table entry's name.
uint16_t tableNameUnit(const TableEntry& entry, size_t index);

// zlib's crc32 of `length` bytes, however many: the table's own checksum, and the stored
// checksums' before 0 is taken as 1.
uint32_t crc32Of(const unsigned char* bytes, uint64_t length);

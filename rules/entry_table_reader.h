// Reading the entry table (layout in rules/payload_format.h). Shared by the launcher, which
// trusts nothing it finds there and falls back to decompressing the region, and the packer,
// which checks every table it places. No system calls.
#pragma once

#include <cstddef>
#include <cstdint>

struct TableEntry {
  const unsigned char* name;  // nameUnits UTF-16LE units, not terminated, not aligned
  uint16_t nameUnits;
  uint64_t size;
  uint32_t storedChecksum;
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

// Whether the table's `entry` is the region's entry `name` (`units` UTF-16 units) of `size`
// bytes and `stored` checksum: the one comparison of the launcher, which follows its table while
// the region agrees, and the packer, which places no table that disagrees with its region.
template <typename Unit>
bool isTableEntry(const TableEntry& entry, const Unit* name, size_t units, uint64_t size,
                  uint32_t stored) {
  if (entry.nameUnits != units || entry.size != size || entry.storedChecksum != stored) {
    return false;
  }
  for (size_t i = 0; i < units; ++i) {
    if (tableNameUnit(entry, i) != static_cast<uint16_t>(name[i])) {
      return false;
    }
  }
  return true;
}

// zlib's crc32 of `length` bytes, however many: the table's own checksum, and the stored
// checksums' before 0 is taken as 1.
uint32_t crc32Of(const unsigned char* bytes, uint64_t length);

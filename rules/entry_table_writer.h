// Writing the entry table (layout in rules/payload_format.h), for the packer that places it
// beside every region and the benchmark that measures starts with it. Header only, so that the
// launcher, which only reads tables, carries none of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "rules/entry_table_reader.h"
#include "rules/little_endian.h"
#include "rules/payload_format.h"

// A table of `entries` entries, which appendTableEntry then adds in order.
inline std::string beginEntryTable(uint32_t entries) {
  std::string table(reinterpret_cast<const char*>(kTableMagic), kTableMagicBytes);
  appendLittleEndian(table, entries);
  return table;
}

// Adds the entry of `name` (`units` UTF-16 units), its size field (entrySizeField) and its stored
// checksum.
template <typename Unit>
void appendTableEntry(std::string& table, const Unit* name, size_t units, uint64_t sizeField,
                      uint32_t stored) {
  appendLittleEndian(table, static_cast<uint16_t>(units));
  for (size_t i = 0; i < units; ++i) {
    appendLittleEndian(table, static_cast<uint16_t>(name[i]));
  }
  appendLittleEndian(table, sizeField);
  appendLittleEndian(table, stored);
}

// Ends the table with the checksum of everything before it.
inline void sealEntryTable(std::string& table) {
  appendLittleEndian(table,
                     crc32Of(reinterpret_cast<const unsigned char*>(table.data()), table.size()));
}

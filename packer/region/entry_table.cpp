#include "packer/region/entry_table.h"

#include "packer/messages/pack_error.h"
#include "rules/entry_table_reader.h"
#include "rules/entry_table_writer.h"

std::string entryTableBytes(const std::vector<RegionEntry>& entries) {
  std::string table = beginEntryTable(static_cast<uint32_t>(entries.size()));
  for (const RegionEntry& entry : entries) {
    appendTableEntry(table, entry.name.data(), entry.name.size(), entry.size, entry.storedChecksum);
  }
  sealEntryTable(table);
  return table;
}

void checkTableListsEntries(const unsigned char* table, size_t length,
                            const std::vector<RegionEntry>& entries, const std::string& whose) {
  TableCursor cursor;
  if (!openEntryTable(table, length, &cursor)) {
    throw PackError(whose + " is damaged");
  }
  size_t index = 0;
  for (TableEntry listed; nextTableEntry(&cursor, &listed); ++index) {
    if (index == entries.size() ||
        !isTableEntry(listed, entries[index].name.data(), entries[index].name.size(),
                      entries[index].size, entries[index].storedChecksum)) {
      throw PackError(whose + " differs from its region at entry " + std::to_string(index + 1));
    }
  }
  if (index != entries.size()) {
    throw PackError(whose + " lists " + std::to_string(index) + " of the " +
                    std::to_string(entries.size()) + " entries of its region");
  }
}

std::string entryTableOf(const Region& region) {
  std::string table = entryTableBytes(region.entries);
  checkTableListsEntries(reinterpret_cast<const unsigned char*>(table.data()), table.size(),
                         region.entries, "the entry table");
  return table;
}

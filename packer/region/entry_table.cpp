#include "packer/region/entry_table.h"

#include "packer/messages/pack_error.h"
#include "rules/entry_table_reader.h"
#include "rules/entry_table_writer.h"

std::string entryTableBytes(const std::vector<RegionEntry>& entries) {
  std::string table = beginEntryTable(static_cast<uint32_t>(entries.size()));
  for (const RegionEntry& entry : entries) {
    appendTableEntry(table, entry.name.data(), entry.name.size(),
                     entrySizeField(entry.size, entry.filtered), entry.storedChecksum);
  }
  sealEntryTable(table);
  return table;
}

std::vector<RegionEntry> readEntryTable(const std::string& table) {
  TableCursor cursor;
  if (!openEntryTable(reinterpret_cast<const unsigned char*>(table.data()), table.size(),
                      &cursor)) {
    throw PackError("the entry table is malformed");
  }
  std::vector<RegionEntry> entries;
  for (TableEntry entry; nextTableEntry(&cursor, &entry);) {
    std::u16string name;
    for (size_t i = 0; i < entry.nameUnits; ++i) {
      name += static_cast<char16_t>(tableNameUnit(entry, i));
    }
    entries.push_back(RegionEntry{name, entry.size, entry.storedChecksum, entry.filtered});
  }
  return entries;
}

std::string entryTableOf(const Region& region) {
  std::string table = entryTableBytes(region.entries);
  const std::vector<RegionEntry> back = readEntryTable(table);
  bool same = back.size() == region.entries.size();
  for (size_t i = 0; same && i < back.size(); ++i) {
    const RegionEntry& entry = region.entries[i];
    same = back[i].name == entry.name && back[i].size == entry.size &&
           back[i].filtered == entry.filtered && back[i].storedChecksum == entry.storedChecksum;
  }
  if (!same) {
    throw PackError("the entry table does not say what the region holds");
  }
  return table;
}

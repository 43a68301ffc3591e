#include "packer/region/entry_table.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "packer/messages/pack_error.h"
#include "rules/entry_table_reader.h"
#include "rules/little_endian.h"
#include "rules/payload_format.h"

namespace {

// The entries of a table made by entryTableBytes, read back as a launcher reads them. Throws
// PackError when `table` is not one.
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
    entries.push_back(RegionEntry{name, entry.size, entry.storedChecksum});
  }
  return entries;
}

const std::vector<RegionEntry> kEntries = {
    {u"App.exe", 123456789012ull, 0xDEADBEEF},
    {u"data\\donn\u00e9es\\\U0001F0A1.txt", 0, 1},
    {std::u16string(kMaxNameUnits, u'n'), 5, 7},
};

// `table` with its checksum made right again after a change.
std::string resealed(std::string table) {
  table.resize(table.size() - kTableChecksumBytes);
  const uLong crc =
      crc32(0, reinterpret_cast<const Bytef*>(table.data()), static_cast<uInt>(table.size()));
  appendLittleEndian(table, static_cast<uint32_t>(crc));
  return table;
}

bool accepted(const std::string& table) {
  try {
    readEntryTable(table);
    return true;
  } catch (const PackError&) {
    return false;
  }
}

}  // namespace

TEST(EntryTable, ReadsBackEveryFieldInOrder) {
  const std::vector<RegionEntry> back = readEntryTable(entryTableBytes(kEntries));
  ASSERT_EQ(back.size(), kEntries.size());
  for (size_t i = 0; i < back.size(); ++i) {
    EXPECT_EQ(back[i].name, kEntries[i].name);
    EXPECT_EQ(back[i].size, kEntries[i].size);
    EXPECT_EQ(back[i].storedChecksum, kEntries[i].storedChecksum);
  }
  EXPECT_TRUE(readEntryTable(entryTableBytes({})).empty());
}

TEST(EntryTable, RefusesEveryTruncationDamageAndImpossibleName) {
  const std::string table = entryTableBytes(kEntries);
  for (size_t length = 0; length < table.size(); ++length) {
    EXPECT_FALSE(accepted(table.substr(0, length))) << length;
  }
  EXPECT_FALSE(accepted(table + '\0'));
  for (size_t at = 0; at < table.size(); at += 97) {
    std::string damaged = table;
    damaged[at] ^= 0x10;
    EXPECT_FALSE(accepted(damaged)) << at;
  }
  // Sound checksums around fields no packer writes: a count beyond the entries, an empty name
  // and one longer than a launcher's name buffer.
  std::string counted = table;
  counted[kTableMagicBytes] = 4;
  EXPECT_FALSE(accepted(resealed(counted)));
  EXPECT_FALSE(accepted(entryTableBytes({{u"", 0, 1}})));
  EXPECT_FALSE(accepted(entryTableBytes({{std::u16string(kMaxNameUnits + 1, u'n'), 0, 1}})));
}

#include "packer/entry_table.h"

#include <zlib.h>

#include <cstring>

#include "packer/little_endian.h"
#include "packer/pack_error.h"
#include "payload/payload_format.h"

namespace {

uint32_t tableChecksum(const std::string& bytes, size_t length) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(length)));
}

// Reads the table field by field, failing on the first byte that is not where it should be.
class TableCursor {
 public:
  explicit TableCursor(const std::string& table) : table_(table) {}

  const unsigned char* take(size_t count) {
    if (table_.size() - at_ < count) {
      throw PackError("the entry table is truncated");
    }
    const unsigned char* field = reinterpret_cast<const unsigned char*>(table_.data()) + at_;
    at_ += count;
    return field;
  }
  template <typename Unsigned>
  Unsigned number() {
    return readLittleEndian<Unsigned>(take(sizeof(Unsigned)));
  }
  size_t at() const { return at_; }

 private:
  const std::string& table_;
  size_t at_ = 0;
};

}  // namespace

std::string entryTableBytes(const std::vector<RegionEntry>& entries) {
  std::string table(reinterpret_cast<const char*>(kTableMagic), kTableMagicBytes);
  appendLittleEndian(table, static_cast<uint32_t>(entries.size()));
  for (const RegionEntry& entry : entries) {
    appendLittleEndian(table, static_cast<uint16_t>(entry.name.size()));
    for (char16_t unit : entry.name) {
      appendLittleEndian(table, static_cast<uint16_t>(unit));
    }
    appendLittleEndian(table, entry.size);
    appendLittleEndian(table, entry.storedChecksum);
  }
  appendLittleEndian(table, tableChecksum(table, table.size()));
  return table;
}

std::vector<RegionEntry> readEntryTable(const std::string& table) {
  TableCursor cursor(table);
  if (std::memcmp(cursor.take(kTableMagicBytes), kTableMagic, kTableMagicBytes) != 0) {
    throw PackError("the entry table does not start with its magic");
  }
  const uint32_t count = cursor.number<uint32_t>();
  if (count > table.size() / kTableEntryFixedBytes) {
    throw PackError("the entry table counts more entries than it can hold");
  }
  std::vector<RegionEntry> entries(count);
  for (RegionEntry& entry : entries) {
    const uint16_t units = cursor.number<uint16_t>();
    for (uint16_t i = 0; i < units; ++i) {
      entry.name += static_cast<char16_t>(cursor.number<uint16_t>());
    }
    entry.size = cursor.number<uint64_t>();
    entry.storedChecksum = cursor.number<uint32_t>();
  }
  const size_t checked = cursor.at();
  if (cursor.number<uint32_t>() != tableChecksum(table, checked) || cursor.at() != table.size()) {
    throw PackError("the entry table's checksum or length is wrong");
  }
  return entries;
}

std::string entryTableOf(const Region& region) {
  std::string table = entryTableBytes(region.entries);
  const std::vector<RegionEntry> back = readEntryTable(table);
  for (size_t i = 0; i < back.size(); ++i) {
    const RegionEntry& entry = region.entries[i];
    if (back[i].name != entry.name || back[i].size != entry.size ||
        back[i].storedChecksum != entry.storedChecksum) {
      throw PackError("the entry table does not match the region at entry " + std::to_string(i));
    }
  }
  return table;
}

#include "packer/pe/program_resources.h"

#include "packer/pe/pe_format.h"
#include "packer/pe/pe_image.h"
#include "rules/little_endian.h"

std::optional<ProgramResources> ProgramResources::read(const std::vector<unsigned char>& head,
                                                       uint64_t fileBytes,
                                                       const ProgramBytes& read) {
  std::string why;
  const std::optional<PeHeaders> headers = readPeHeaders(head.data(), head.size(), why);
  const size_t directory = kOptDirectories + kResourceDirectory * kDirectoryBytes;
  if (!headers || headers->optionalBytes < directory + kDirectoryBytes) {
    return std::nullopt;
  }
  const uint32_t rva =
      readLittleEndian<uint32_t>(head.data() + headers->optional + directory + kDirectoryRva);
  if (rva == 0) {
    return std::nullopt;
  }
  for (const PeSection& section : headers->sections) {
    if (rva >= section.virtualAddress && rva - section.virtualAddress < section.rawSize) {
      if (uint64_t{section.rawOffset} + section.rawSize > fileBytes) {
        throw ResourceDamage{"its resource section runs past the end of the file"};
      }
      const uint32_t skipped = rva - section.virtualAddress;
      return ProgramResources(read(section.rawOffset + skipped, section.rawSize - skipped), rva);
    }
  }
  throw ResourceDamage{"its resource directory lies in no section of the file"};
}

std::optional<ResourceSpan> ProgramResources::firstOf(uint16_t type) const {
  std::optional<size_t> table = subtable(0, type);
  table = table ? subtable(*table, std::nullopt) : std::nullopt;
  return table ? firstLanguage(*table) : std::nullopt;
}

std::optional<std::vector<unsigned char>> ProgramResources::first(uint16_t type) const {
  const std::optional<ResourceSpan> span = firstOf(type);
  if (!span) {
    return std::nullopt;
  }
  std::vector<unsigned char> data;
  appendTo(data, *span);
  return data;
}

std::map<uint16_t, size_t> ProgramResources::languagesById(uint16_t type) const {
  std::map<uint16_t, size_t> tables;
  const std::optional<size_t> table = subtable(0, type);
  const size_t count = table ? entryCount(*table) : 0;
  for (size_t i = 0; i < count; ++i) {
    const size_t entry = *table + kResourceTableBytes + i * kResourceEntryBytes;
    const uint32_t name = u32(entry + kResourceEntryId);
    if ((name & kResourceNamedEntry) == 0 && name <= UINT16_MAX) {
      tables.emplace(name, u32(entry + kResourceEntryOffset) & ~kResourceSubdirectory);
    }
  }
  return tables;
}

std::optional<ResourceSpan> ProgramResources::firstLanguage(size_t languages) const {
  const std::optional<size_t> entry = subtable(languages, std::nullopt);
  if (!entry) {
    return std::nullopt;
  }
  const uint32_t dataRva = u32(*entry + kResourceDataRva);
  const uint32_t size = u32(*entry + kResourceDataSize);
  if (dataRva < rva_) {
    throw ResourceDamage{"a resource lies outside its resource section"};
  }
  check(dataRva - rva_, size);
  return ResourceSpan{dataRva - rva_, size};
}

void ProgramResources::appendTo(std::vector<unsigned char>& out, ResourceSpan span) const {
  const auto start = bytes_.begin() + static_cast<std::ptrdiff_t>(span.offset);
  out.insert(out.end(), start, start + span.size);
}

uint32_t ProgramResources::u32(size_t at) const {
  check(at, sizeof(uint32_t));
  return readLittleEndian<uint32_t>(bytes_.data() + at);
}

uint16_t ProgramResources::u16(size_t at) const {
  check(at, sizeof(uint16_t));
  return readLittleEndian<uint16_t>(bytes_.data() + at);
}

void ProgramResources::check(size_t at, size_t size) const {
  if (at > bytes_.size() || size > bytes_.size() - at) {
    throw ResourceDamage{"its resource directory points outside its resource section"};
  }
}

size_t ProgramResources::entryCount(size_t table) const {
  return size_t{u16(table + kResourceTableNamedCount)} + u16(table + kResourceTableIdCount);
}

// The offset of what entry `id` of the table at `table` leads to (its first entry when no id
// is given); nullopt when the table has no such entry.
std::optional<size_t> ProgramResources::subtable(size_t table, std::optional<uint32_t> id) const {
  const size_t count = entryCount(table);
  for (size_t i = 0; i < count; ++i) {
    const size_t entry = table + kResourceTableBytes + i * kResourceEntryBytes;
    const uint32_t name = u32(entry + kResourceEntryId);
    if (!id || ((name & kResourceNamedEntry) == 0 && name == *id)) {
      return u32(entry + kResourceEntryOffset) & ~kResourceSubdirectory;
    }
  }
  return std::nullopt;
}

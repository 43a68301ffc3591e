#include "packer/pe/program_icon.h"

#include <optional>

#include "packer/pe/pe_format.h"
#include "packer/pe/pe_image.h"
#include "rules/ico_format.h"
#include "rules/little_endian.h"

namespace {

constexpr uint32_t kNamedEntry = 0x80000000;
constexpr size_t kResourceTableNamedCount = 12;

// A problem in the resources: what the icon search stops with.
struct Damaged {
  std::string why;
};

// The resource section of a program, with the RVA it is loaded at.
struct Resources {
  std::vector<unsigned char> bytes;
  uint32_t rva;

  uint32_t u32(size_t at) const {
    check(at, 4);
    return readLittleEndian<uint32_t>(bytes.data() + at);
  }
  uint16_t u16(size_t at) const {
    check(at, 2);
    return readLittleEndian<uint16_t>(bytes.data() + at);
  }
  void check(size_t at, size_t size) const {
    if (at > bytes.size() || size > bytes.size() - at) {
      throw Damaged{"its resource directory points outside its resource section"};
    }
  }

  // The offset of the table that entry `id` of the table at `table` leads to, or nullopt when
  // the table has no such entry. With no id, its first entry, named or not.
  std::optional<size_t> subtable(size_t table, std::optional<uint16_t> id) const {
    const size_t named = u16(table + kResourceTableNamedCount);
    const size_t count = named + u16(table + kResourceTableIdCount);
    for (size_t i = 0; i < count; ++i) {
      const size_t entry = table + kResourceTableBytes + i * kResourceEntryBytes;
      const uint32_t name = u32(entry + kResourceEntryId);
      if (!id || ((name & kNamedEntry) == 0 && name == *id)) {
        return u32(entry + kResourceEntryOffset) & ~kResourceSubdirectory;
      }
    }
    return std::nullopt;
  }

  // The data of the first language of resource `id` (the first resource with no id) of `type`;
  // nullopt when there is none.
  std::optional<std::vector<unsigned char>> data(uint16_t type, std::optional<uint16_t> id) const {
    std::optional<size_t> table = subtable(0, type);
    table = table ? subtable(*table, id) : std::nullopt;
    const std::optional<size_t> entry = table ? subtable(*table, std::nullopt) : std::nullopt;
    if (!entry) {
      return std::nullopt;
    }
    const uint32_t dataRva = u32(*entry + kResourceDataRva);
    const uint32_t size = u32(*entry + kResourceDataSize);
    if (dataRva < rva) {
      throw Damaged{"a resource lies outside its resource section"};
    }
    check(dataRva - rva, size);
    return std::vector<unsigned char>(bytes.begin() + (dataRva - rva),
                                      bytes.begin() + (dataRva - rva + size));
  }
};

// The section that holds the resource directory, read; nullopt when the program has none.
std::optional<Resources> readResources(const std::vector<unsigned char>& head, uint64_t fileBytes,
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
        throw Damaged{"its resource section runs past the end of the file"};
      }
      const uint32_t skipped = rva - section.virtualAddress;
      return Resources{read(section.rawOffset + skipped, section.rawSize - skipped), rva};
    }
  }
  throw Damaged{"its resource directory lies in no section of the file"};
}

// The .ico file of `group` (a GRPICONDIR) and the icon images it names.
std::vector<unsigned char> icoOf(const Resources& resources,
                                 const std::vector<unsigned char>& group) {
  if (group.size() < kIcoHeaderBytes) {
    throw Damaged{"its icon group is cut short"};
  }
  const size_t count = readLittleEndian<uint16_t>(group.data() + kIcoCountOffset);
  if (group.size() < kIcoHeaderBytes + count * kGroupEntryBytes) {
    throw Damaged{"its icon group is cut short"};
  }
  std::vector<unsigned char> ico(group.begin(), group.begin() + kIcoHeaderBytes);
  std::vector<unsigned char> images;
  const size_t imagesAt = kIcoHeaderBytes + count * kIcoEntryBytes;
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* entry = group.data() + kIcoHeaderBytes + i * kGroupEntryBytes;
    const uint16_t id = readLittleEndian<uint16_t>(entry + kGroupEntryResourceId);
    const std::optional<std::vector<unsigned char>> image = resources.data(kResourceIcon, id);
    if (!image) {
      throw Damaged{"its icon group names the icon " + std::to_string(id) + ", which it lacks"};
    }
    ico.insert(ico.end(), entry, entry + kIcoEntryImageBytes);
    appendLittleEndian(ico, static_cast<uint32_t>(image->size()));
    appendLittleEndian(ico, static_cast<uint32_t>(imagesAt + images.size()));
    images.insert(images.end(), image->begin(), image->end());
  }
  ico.insert(ico.end(), images.begin(), images.end());
  return ico;
}

}  // namespace

ProgramIcon programIcon(const std::vector<unsigned char>& head, uint64_t fileBytes,
                        const ProgramBytes& read) {
  try {
    const std::optional<Resources> resources = readResources(head, fileBytes, read);
    const std::optional<std::vector<unsigned char>> group =
        resources ? resources->data(kResourceGroupIcon, std::nullopt) : std::nullopt;
    return {group ? icoOf(*resources, *group) : std::vector<unsigned char>{}, ""};
  } catch (const Damaged& damaged) {
    return {{}, damaged.why};
  }
}

#include "packer/pe/program_icon.h"

#include <cstddef>
#include <map>
#include <optional>

#include "packer/pe/icon_file.h"
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

// Where a resource's data lies in the resource section.
struct Span {
  size_t offset;
  uint32_t size;
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
    const size_t count = entryCount(table);
    for (size_t i = 0; i < count; ++i) {
      const size_t entry = table + kResourceTableBytes + i * kResourceEntryBytes;
      const uint32_t name = u32(entry + kResourceEntryId);
      if (!id || ((name & kNamedEntry) == 0 && name == *id)) {
        return u32(entry + kResourceEntryOffset) & ~kResourceSubdirectory;
      }
    }
    return std::nullopt;
  }

  // The tables that the entries with an id of the table at `table` lead to, by id, the first
  // one of each id as subtable finds it. Built in one pass, so that looking up every entry of
  // a group of many takes no pass over the table for each.
  std::map<uint16_t, size_t> subtablesById(size_t table) const {
    std::map<uint16_t, size_t> tables;
    const size_t count = entryCount(table);
    for (size_t i = 0; i < count; ++i) {
      const size_t entry = table + kResourceTableBytes + i * kResourceEntryBytes;
      const uint32_t name = u32(entry + kResourceEntryId);
      if ((name & kNamedEntry) == 0 && name <= UINT16_MAX) {
        tables.emplace(name, u32(entry + kResourceEntryOffset) & ~kResourceSubdirectory);
      }
    }
    return tables;
  }

  // Where the data of the first language of the table at `languages` lies in the section;
  // nullopt when it has none.
  std::optional<Span> firstLanguage(size_t languages) const {
    const std::optional<size_t> entry = subtable(languages, std::nullopt);
    if (!entry) {
      return std::nullopt;
    }
    const uint32_t dataRva = u32(*entry + kResourceDataRva);
    const uint32_t size = u32(*entry + kResourceDataSize);
    if (dataRva < rva) {
      throw Damaged{"a resource lies outside its resource section"};
    }
    check(dataRva - rva, size);
    return Span{dataRva - rva, size};
  }

  // Where the data of the first language of the first resource of `type` lies; nullopt when
  // there is none.
  std::optional<Span> first(uint16_t type) const {
    std::optional<size_t> table = subtable(0, type);
    table = table ? subtable(*table, std::nullopt) : std::nullopt;
    return table ? firstLanguage(*table) : std::nullopt;
  }

  void appendTo(std::vector<unsigned char>& out, Span span) const {
    const auto start = bytes.begin() + static_cast<std::ptrdiff_t>(span.offset);
    out.insert(out.end(), start, start + span.size);
  }

  size_t entryCount(size_t table) const {
    return size_t{u16(table + kResourceTableNamedCount)} + u16(table + kResourceTableIdCount);
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

// Where the images that the entries of `group` (a GRPICONDIR of `count` entries) name lie, in
// the entries' order.
std::vector<Span> groupImages(const Resources& resources, const std::vector<unsigned char>& group,
                              size_t count) {
  std::vector<Span> images;
  const std::optional<size_t> iconTable = resources.subtable(0, kResourceIcon);
  const std::map<uint16_t, size_t> icons =
      iconTable ? resources.subtablesById(*iconTable) : std::map<uint16_t, size_t>{};
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* entry = group.data() + kIcoHeaderBytes + i * kGroupEntryBytes;
    const uint16_t id = readLittleEndian<uint16_t>(entry + kGroupEntryResourceId);
    const auto languages = icons.find(id);
    const std::optional<Span> image =
        languages == icons.end() ? std::nullopt : resources.firstLanguage(languages->second);
    if (!image) {
      throw Damaged{"its icon group names the icon " + std::to_string(id) + ", which it lacks"};
    }
    images.push_back(*image);
  }
  return images;
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
  const std::vector<Span> images = groupImages(resources, group, count);
  // Summed before any image is copied: a group may name one image thousands of times, and the
  // .ico file holds a copy for each.
  uint64_t imageBytes = 0;
  for (const Span& image : images) {
    imageBytes += image.size;
  }
  const std::string tooLarge = imageBytesProblem(imageBytes);
  if (!tooLarge.empty()) {
    throw Damaged{tooLarge};
  }
  std::vector<unsigned char> ico(group.begin(), group.begin() + kIcoHeaderBytes);
  size_t imageAt = kIcoHeaderBytes + count * kIcoEntryBytes;
  ico.reserve(imageAt + imageBytes);
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* entry = group.data() + kIcoHeaderBytes + i * kGroupEntryBytes;
    ico.insert(ico.end(), entry, entry + kIcoEntryImageBytes);
    appendLittleEndian(ico, images[i].size);
    appendLittleEndian(ico, static_cast<uint32_t>(imageAt));
    imageAt += images[i].size;
  }
  for (const Span& image : images) {
    resources.appendTo(ico, image);
  }
  return ico;
}

}  // namespace

ProgramIcon programIcon(const std::vector<unsigned char>& head, uint64_t fileBytes,
                        const ProgramBytes& read) {
  try {
    const std::optional<Resources> resources = readResources(head, fileBytes, read);
    const std::optional<Span> groupAt =
        resources ? resources->first(kResourceGroupIcon) : std::nullopt;
    if (!groupAt) {
      return {{}, ""};
    }
    std::vector<unsigned char> group;
    resources->appendTo(group, *groupAt);
    return {icoOf(*resources, group), ""};
  } catch (const Damaged& damaged) {
    return {{}, damaged.why};
  }
}

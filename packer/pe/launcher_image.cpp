#include "packer/pe/launcher_image.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "packer/pe/image_error.h"
#include "packer/pe/pe_format.h"
#include "packer/pe/pe_image.h"
#include "rules/little_endian.h"

namespace {

constexpr uint32_t kDataSectionFlags = kSectionInitializedData | kSectionMemoryRead;
// Strings need UTF-16 units aligned; the table and the region are aligned for readability.
constexpr size_t kDataAlignment = 8;

[[noreturn]] void notAPrebuiltImage(const std::string& why) {
  throw ImageError("the prebuilt launcher image is unusable: " + why);
}

class Image {
 public:
  explicit Image(std::string bytes) : bytes_(std::move(bytes)) {}

  uint32_t u32(size_t at) const { return readLittleEndian<uint32_t>(data() + at); }
  uint16_t u16(size_t at) const { return readLittleEndian<uint16_t>(data() + at); }
  void put32(size_t at, uint32_t value) { storeLittleEndian(bytes_, at, value); }
  void put16(size_t at, uint16_t value) { storeLittleEndian(bytes_, at, value); }
  unsigned char* data() { return reinterpret_cast<unsigned char*>(bytes_.data()); }
  const unsigned char* data() const {
    return reinterpret_cast<const unsigned char*>(bytes_.data());
  }
  std::string& bytes() { return bytes_; }
  size_t size() const { return bytes_.size(); }

 private:
  std::string bytes_;
};

struct Layout {
  PeHeaders headers;
  uint32_t sectionAlignment;
  uint32_t fileAlignment;
  uint32_t sizeOfImage;
  size_t descriptor;  // file offset of the descriptor
};

Layout checkPrebuilt(const Image& image) {
  std::string why;
  const std::optional<PeHeaders> headers = readPeHeaders(image.data(), image.size(), why);
  if (!headers) {
    notAPrebuiltImage(why);
  }
  if (headers->optionalMagic != kPe32PlusMagic || headers->machine != kMachineAmd64) {
    notAPrebuiltImage("not a 64-bit x64 image");
  }
  Layout layout{*headers, image.u32(headers->optional + kOptSectionAlignment),
                image.u32(headers->optional + kOptFileAlignment),
                image.u32(headers->optional + kOptSizeOfImage), 0};
  const std::vector<PeSection>& sections = headers->sections;
  size_t fileEnd = headers->sectionTable + sections.size() * kSectionHeaderBytes;
  uint32_t imageEnd = 0;
  for (const PeSection& section : sections) {
    fileEnd = std::max<size_t>(fileEnd, size_t{section.rawOffset} + section.rawSize);
    imageEnd = alignUp(section.virtualAddress + section.virtualSize, layout.sectionAlignment);
  }
  if (fileEnd != image.size()) {
    notAPrebuiltImage("data follows its last section or it is cut short");
  }
  if (imageEnd != layout.sizeOfImage) {
    notAPrebuiltImage("its SizeOfImage does not end with its last section");
  }
  if (image.u32(headers->coff + kCoffSymbolTable) != 0) {
    notAPrebuiltImage("it has a symbol table");
  }
  for (size_t directory : {kResourceDirectory, kCertificateDirectory}) {
    if (image.u32(headers->optional + kOptDirectories + directory * kDirectoryBytes) != 0) {
      notAPrebuiltImage("it has resources or a certificate of its own");
    }
  }
  const size_t headerEnd = headers->sectionTable + (sections.size() + 2) * kSectionHeaderBytes;
  const size_t firstData = sections.empty() ? 0 : sections.front().rawOffset;
  if (headerEnd > image.u32(headers->optional + kOptSizeOfHeaders) || headerEnd > firstData) {
    notAPrebuiltImage("no room for two more section headers");
  }
  const DescriptorBytes empty = emptyDescriptor();
  const PeSection* descriptor = findSection(*headers, kDescriptorSection);
  if (descriptor == nullptr || descriptor->rawSize < kDescriptorBytes ||
      std::memcmp(image.data() + descriptor->rawOffset, empty.data(), empty.size()) != 0) {
    notAPrebuiltImage("no empty descriptor in a section " + std::string(kDescriptorSection));
  }
  layout.descriptor = descriptor->rawOffset;
  return layout;
}

// Appends `content` as a section named `name` after the image's last one, its data at a
// multiple of `rawAlignment` in the file; returns its RVA.
uint32_t appendSection(Image& image, Layout& layout, const char* name, const std::string& content,
                       uint32_t rawAlignment) {
  const uint32_t rva = layout.sizeOfImage;
  const uint32_t rawOffset = alignUp(static_cast<uint32_t>(image.bytes().size()), rawAlignment);
  image.bytes().resize(rawOffset, '\0');
  const uint32_t rawSize = alignUp(static_cast<uint32_t>(content.size()), layout.fileAlignment);
  image.bytes() += content;
  image.bytes().resize(rawOffset + rawSize, '\0');

  PeHeaders& headers = layout.headers;
  const size_t header = headers.sectionTable + headers.sections.size() * kSectionHeaderBytes;
  // Every field this does not set, the relocations and line numbers, is zero.
  std::memset(image.data() + header, 0, kSectionHeaderBytes);
  std::memcpy(image.data() + header, name, std::strlen(name));
  image.put32(header + kSectionVirtualSize, static_cast<uint32_t>(content.size()));
  image.put32(header + kSectionVirtualAddress, rva);
  image.put32(header + kSectionRawSize, rawSize);
  image.put32(header + kSectionRawOffset, rawOffset);
  image.put32(header + kSectionCharacteristics, kDataSectionFlags);
  headers.sections.push_back(
      {name, static_cast<uint32_t>(content.size()), rva, rawSize, rawOffset, kDataSectionFlags});

  image.put16(headers.coff + kCoffSectionCount, static_cast<uint16_t>(headers.sections.size()));
  const size_t initialized = headers.optional + kOptSizeOfInitializedData;
  image.put32(initialized, image.u32(initialized) + rawSize);
  layout.sizeOfImage =
      alignUp(rva + static_cast<uint32_t>(content.size()), layout.sectionAlignment);
  image.put32(headers.optional + kOptSizeOfImage, layout.sizeOfImage);
  return rva;
}

struct Placed {
  uint32_t offset;
  uint32_t bytes;
};

Placed place(std::string& data, const void* bytes, size_t size) {
  data.resize(alignUp(data.size(), kDataAlignment), '\0');
  const Placed placed{static_cast<uint32_t>(data.size()), static_cast<uint32_t>(size)};
  data.append(static_cast<const char*>(bytes), size);
  return placed;
}

std::string littleEndianUnits(const std::u16string& text) {
  std::string units;
  for (char16_t unit : text) {
    appendLittleEndian<uint16_t>(units, unit);
  }
  return units;
}

}  // namespace

std::string writeLauncherImage(const std::string& prebuilt, const LauncherParts& parts) {
  Image image(prebuilt);
  Layout layout = checkPrebuilt(image);
  const uint64_t dataBytes = uint64_t{parts.regionBytes} + parts.entryTable.size();
  if (dataBytes + layout.sizeOfImage >= UINT32_MAX / 2) {
    throw ImageError("the application is too large for a launcher image: " +
                     std::to_string(parts.regionBytes) + " bytes compressed");
  }

  std::string data;
  std::array<Placed, kDescriptorFields> fields{};
  for (size_t i = 0; i < kStringFields; ++i) {
    const std::string units = littleEndianUnits(parts.strings[i] + u'\0');
    fields[i] = place(data, units.data(), units.size());
  }
  const std::string arguments = littleEndianUnits(parts.fixedArguments);
  fields[kFixedArgumentsField] = place(data, arguments.data(), arguments.size());
  if (parts.launchOptions != 0) {
    std::string options;
    appendLittleEndian(options, parts.launchOptions);
    fields[kLaunchOptionsField] = place(data, options.data(), options.size());
  }
  fields[kEntryTableField] = place(data, parts.entryTable.data(), parts.entryTable.size());
  fields[kRegionField] = place(data, parts.region, parts.regionBytes);
  // At a page boundary of the file as of memory, so that the loader can map the region instead
  // of reading all of it in at every start (Wine reads in every section it cannot map).
  const uint32_t dataRva =
      appendSection(image, layout, kDataSection, data, layout.sectionAlignment);
  data.clear();
  data.shrink_to_fit();

  const uint32_t resourceRva = layout.sizeOfImage;
  const std::string resources = resourceSection(parts.resources, resourceRva);
  appendSection(image, layout, kResourceSection, resources, layout.fileAlignment);
  const size_t directory =
      layout.headers.optional + kOptDirectories + kResourceDirectory * kDirectoryBytes;
  image.put32(directory + kDirectoryRva, resourceRva);
  image.put32(directory + kDirectorySize, static_cast<uint32_t>(resources.size()));

  for (size_t i = 0; i < kDescriptorFields; ++i) {
    const size_t field = layout.descriptor + fieldOffset(i);
    image.put32(field, fields[i].bytes == 0 ? 0 : dataRva + fields[i].offset);
    image.put32(field + kFieldRvaBytes, fields[i].bytes);
  }
  image.put32(layout.headers.coff + kCoffTimeDateStamp, parts.timeStamp);
  const size_t checksum = layout.headers.optional + kOptCheckSum;
  image.put32(checksum, peChecksum(image.bytes(), checksum));
  return std::move(image.bytes());
}

uint32_t peChecksum(const std::string& image, size_t checksumOffset) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(image.data());
  uint64_t sum = 0;
  for (size_t at = 0; at < image.size(); at += 2) {
    uint32_t word = bytes[at];
    if (at + 1 < image.size()) {
      word |= uint32_t{bytes[at + 1]} << 8;
    }
    if (at >= checksumOffset && at < checksumOffset + 4) {
      word = 0;
    }
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + image.size());
}

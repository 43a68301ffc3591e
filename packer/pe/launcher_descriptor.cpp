#include "packer/pe/launcher_descriptor.h"

#include <algorithm>
#include <string>

#include "packer/pe/image_error.h"
#include "packer/pe/pe_format.h"
#include "packer/pe/pe_image.h"
#include "rules/image_descriptor.h"
#include "rules/little_endian.h"

namespace {

bool liesInFile(const std::vector<unsigned char>& file, const PeSection& section) {
  return section.rawOffset <= file.size() && section.rawSize <= file.size() - section.rawOffset;
}

// The data section's bytes in the file, as far as both the file and the section hold them.
DescriptorData fileData(const std::vector<unsigned char>& file, const PeHeaders& headers) {
  const PeSection* section = findSection(headers, kDataSection);
  if (section == nullptr) {
    return {0, nullptr, 0};
  }
  if (!liesInFile(file, *section)) {
    throw ImageError("the launcher's section " + std::string(kDataSection) + " is cut short");
  }
  return {section->virtualAddress, file.data() + section->rawOffset,
          std::min(section->virtualSize, section->rawSize)};
}

}  // namespace

std::optional<DescribedData> describedData(const std::vector<unsigned char>& file) {
  std::string why;
  const std::optional<PeHeaders> headers = readPeHeaders(file.data(), file.size(), why);
  const PeSection* descriptor = headers ? findSection(*headers, kDescriptorSection) : nullptr;
  if (descriptor == nullptr) {
    return std::nullopt;
  }
  if (!liesInFile(file, *descriptor) || descriptor->rawSize < kDescriptorBytes ||
      headers->optionalBytes < kOptSizeOfImage + sizeof(uint32_t)) {
    throw ImageError("the launcher's descriptor is cut short");
  }
  const unsigned char* bytes = file.data() + descriptor->rawOffset;
  const DescriptorData data = fileData(file, *headers);
  const uint32_t sizeOfImage =
      readLittleEndian<uint32_t>(file.data() + headers->optional + kOptSizeOfImage);
  if (!isSoundDescriptor(bytes, data, sizeOfImage)) {
    throw ImageError(
        "the launcher's descriptor is damaged: a field lies outside the image's data, overlaps "
        "another or holds a string without its terminator");
  }
  auto field = [&](DescriptorField which, uint32_t* length) {
    const uint32_t rva = readLittleEndian<uint32_t>(bytes + fieldOffset(which));
    *length = readLittleEndian<uint32_t>(bytes + fieldOffset(which) + kFieldRvaBytes);
    uint32_t offset = 0;
    locateField(rva, *length, data, &offset);
    return *length == 0 ? nullptr : data.bytes + offset;
  };
  DescribedData described{};
  described.region = field(kRegionField, &described.regionLength);
  described.table = field(kEntryTableField, &described.tableLength);
  return described;
}

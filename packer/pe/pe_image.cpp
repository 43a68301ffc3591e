#include "packer/pe/pe_image.h"

#include <cstring>

#include "packer/pe/pe_format.h"
#include "rules/little_endian.h"

std::optional<PeHeaders> readPeHeaders(const unsigned char* bytes, size_t size, std::string& why) {
  if (size < 2 || readLittleEndian<uint16_t>(bytes) != kDosMagic) {
    why = "it does not start with \"MZ\"";
    return std::nullopt;
  }
  if (size < kDosHeaderBytes) {
    why = "it is cut short in its DOS header";
    return std::nullopt;
  }
  PeHeaders headers{};
  const uint64_t signature = readLittleEndian<uint32_t>(bytes + kDosNewHeaderOffset);
  if (signature + kPeSignatureBytes + kCoffHeaderBytes > size ||
      std::memcmp(bytes + signature, kPeSignature, kPeSignatureBytes) != 0) {
    why = "it has no PE header, as a DOS program";
    return std::nullopt;
  }
  headers.coff = static_cast<size_t>(signature) + kPeSignatureBytes;
  headers.optional = headers.coff + kCoffHeaderBytes;
  headers.machine = readLittleEndian<uint16_t>(bytes + headers.coff + kCoffMachine);
  headers.characteristics = readLittleEndian<uint16_t>(bytes + headers.coff + kCoffCharacteristics);
  headers.optionalBytes =
      readLittleEndian<uint16_t>(bytes + headers.coff + kCoffOptionalHeaderSize);
  headers.sectionTable = headers.optional + headers.optionalBytes;
  if (headers.optionalBytes >= 2) {
    if (headers.optional + 2 > size) {
      why = "it is cut short in its PE header";
      return std::nullopt;
    }
    headers.optionalMagic = readLittleEndian<uint16_t>(bytes + headers.optional + kOptMagic);
  }
  if (headers.optionalMagic != kPe32PlusMagic) {
    return headers;
  }
  const uint16_t count = readLittleEndian<uint16_t>(bytes + headers.coff + kCoffSectionCount);
  if (headers.optionalBytes < kPe32PlusOptionalHeaderBytes ||
      headers.sectionTable + count * kSectionHeaderBytes > size) {
    why = "it is cut short in its PE header";
    return std::nullopt;
  }
  for (uint16_t i = 0; i < count; ++i) {
    const unsigned char* header = bytes + headers.sectionTable + i * kSectionHeaderBytes;
    PeSection section;
    section.name.assign(reinterpret_cast<const char*>(header),
                        strnlen(reinterpret_cast<const char*>(header), kSectionNameBytes));
    section.virtualSize = readLittleEndian<uint32_t>(header + kSectionVirtualSize);
    section.virtualAddress = readLittleEndian<uint32_t>(header + kSectionVirtualAddress);
    section.rawSize = readLittleEndian<uint32_t>(header + kSectionRawSize);
    section.rawOffset = readLittleEndian<uint32_t>(header + kSectionRawOffset);
    section.characteristics = readLittleEndian<uint32_t>(header + kSectionCharacteristics);
    headers.sections.push_back(section);
  }
  return headers;
}

const PeSection* findSection(const PeHeaders& headers, std::string_view name) {
  for (const PeSection& section : headers.sections) {
    if (section.name == name) {
      return &section;
    }
  }
  return nullptr;
}

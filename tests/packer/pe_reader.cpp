#include "tests/packer/pe_reader.h"

#include <stdexcept>

uint16_t u16At(const std::string& bytes, size_t at) {
  if (at + 2 > bytes.size()) {
    throw std::runtime_error("read past the end at " + std::to_string(at));
  }
  return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) |
                               static_cast<unsigned char>(bytes[at + 1]) << 8);
}

uint32_t u32At(const std::string& bytes, size_t at) {
  return u16At(bytes, at) | static_cast<uint32_t>(u16At(bytes, at + 2)) << 16;
}

const TestSection* TestImage::section(const std::string& name) const {
  for (const TestSection& s : sections) {
    if (s.name == name) {
      return &s;
    }
  }
  return nullptr;
}

std::string TestImage::at(uint32_t rva, size_t size) const {
  for (const TestSection& s : sections) {
    if (rva >= s.virtualAddress && rva + size <= s.virtualAddress + s.rawSize) {
      return bytes.substr(s.rawOffset + (rva - s.virtualAddress), size);
    }
  }
  throw std::runtime_error("RVA " + std::to_string(rva) + " lies in no section's data");
}

TestImage readTestImage(std::string bytes) {
  TestImage image{};
  image.bytes = std::move(bytes);
  const std::string& b = image.bytes;
  if (b.compare(0, 2, "MZ") != 0) {
    throw std::runtime_error("no MZ");
  }
  const size_t pe = u32At(b, 0x3C);
  if (b.compare(pe, 4, std::string("PE\0\0", 4)) != 0) {
    throw std::runtime_error("no PE signature");
  }
  const size_t coff = pe + 4;
  image.machine = u16At(b, coff);
  const uint16_t sectionCount = u16At(b, coff + 2);
  image.timeStamp = u32At(b, coff + 4);
  const uint16_t optionalSize = u16At(b, coff + 16);
  image.characteristics = u16At(b, coff + 18);
  const size_t opt = coff + 20;
  image.magic = u16At(b, opt);
  if (image.magic != 0x20B) {
    throw std::runtime_error("not PE32+");
  }
  image.sizeOfInitializedData = u32At(b, opt + 8);
  image.sectionAlignment = u32At(b, opt + 32);
  image.fileAlignment = u32At(b, opt + 36);
  image.sizeOfImage = u32At(b, opt + 56);
  image.sizeOfHeaders = u32At(b, opt + 60);
  image.checksumOffset = opt + 64;
  image.checksum = u32At(b, opt + 64);
  image.subsystem = u16At(b, opt + 68);
  image.dllCharacteristics = u16At(b, opt + 70);
  const uint32_t directoryCount = u32At(b, opt + 108);
  for (uint32_t i = 0; i < directoryCount; ++i) {
    image.directories.emplace_back(u32At(b, opt + 112 + 8 * i), u32At(b, opt + 116 + 8 * i));
  }
  const size_t table = opt + optionalSize;
  for (uint16_t i = 0; i < sectionCount; ++i) {
    const size_t h = table + 40 * i;
    TestSection s;
    s.name = b.substr(h, 8);
    s.name = s.name.substr(0, s.name.find('\0'));
    s.virtualSize = u32At(b, h + 8);
    s.virtualAddress = u32At(b, h + 12);
    s.rawSize = u32At(b, h + 16);
    s.rawOffset = u32At(b, h + 20);
    s.characteristics = u32At(b, h + 36);
    image.sections.push_back(s);
  }
  return image;
}

uint32_t documentedChecksum(const std::string& bytes, size_t checksumOffset) {
  uint32_t sum = 0;
  for (size_t i = 0; i < bytes.size(); i += 2) {
    uint32_t word = static_cast<unsigned char>(bytes[i]);
    if (i + 1 < bytes.size()) {
      word |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    }
    if (i == checksumOffset || i == checksumOffset + 2) {
      word = 0;
    }
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return sum + static_cast<uint32_t>(bytes.size());
}

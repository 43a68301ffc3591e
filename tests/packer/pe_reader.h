// A reader of PE images for the tests, written from the format's documentation apart from the
// packer's own layout header, so that a shared mistake cannot hide: the headers, the section
// table, the data directories and the bytes behind an RVA.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TestSection {
  std::string name;
  uint32_t virtualSize;
  uint32_t virtualAddress;
  uint32_t rawSize;
  uint32_t rawOffset;
  uint32_t characteristics;
};

struct TestImage {
  std::string bytes;
  uint16_t machine;
  uint32_t timeStamp;
  uint16_t characteristics;
  uint16_t magic;
  uint32_t sizeOfInitializedData;
  uint32_t sectionAlignment;
  uint32_t fileAlignment;
  uint32_t sizeOfImage;
  uint32_t sizeOfHeaders;
  uint32_t checksum;
  size_t checksumOffset;
  uint16_t subsystem;
  uint16_t dllCharacteristics;
  std::vector<std::pair<uint32_t, uint32_t>> directories;  // RVA and size of each
  std::vector<TestSection> sections;

  const TestSection* section(const std::string& name) const;
  // `size` bytes of the image as loaded at `rva`; throws when they lie outside every section's
  // raw data.
  std::string at(uint32_t rva, size_t size) const;
};

// Throws std::runtime_error when `bytes` is not a PE32+ image.
TestImage readTestImage(std::string bytes);

// The image checksum as the documentation gives it: 16-bit words summed with the carry folded
// back, the checksum field counted as 0, plus the file's length.
uint32_t documentedChecksum(const std::string& bytes, size_t checksumOffset);

uint32_t u32At(const std::string& bytes, size_t at);
uint16_t u16At(const std::string& bytes, size_t at);

// Finding one's way in a PE image held in memory: where its headers and sections lie. Used on
// the prebuilt launchers the packer fills and on the main programs it checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct PeSection {
  std::string name;
  uint32_t virtualSize;
  uint32_t virtualAddress;
  uint32_t rawSize;
  uint32_t rawOffset;
  uint32_t characteristics;
};

struct PeHeaders {
  size_t coff;          // offset of the COFF header, after the signature
  size_t optional;      // offset of the optional header
  size_t sectionTable;  // offset of the first section header
  uint16_t machine;
  uint16_t characteristics;
  uint16_t optionalMagic;  // 0 when the optional header is too short to hold one
  uint16_t optionalBytes;
  std::vector<PeSection> sections;  // empty unless the image is PE32+
};

// The section of `headers` named `name` (as the section table holds it), or null.
const PeSection* findSection(const PeHeaders& headers, std::string_view name);

// The headers of the image whose first `size` bytes are at `bytes`, or nullopt with `why` set
// when there is none: no "MZ", no PE signature where the DOS header points, or headers that
// run past `size`. Sections are read for PE32+ images only.
std::optional<PeHeaders> readPeHeaders(const unsigned char* bytes, size_t size, std::string& why);

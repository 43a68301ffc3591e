// The resource section of a launcher, made by the packer itself: the directory tree of types,
// ids and the neutral language, and the data (layout in packer/pe/pe_format.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Resource {
  uint16_t type;
  uint16_t id;
  std::string data;
};

// The section's bytes for `resources` (every one of language 0; no two with the same type and
// id), placed at `sectionRva` in the image: the tree lists types and ids in ascending order and
// each data entry holds the RVA of its data. Throws ImageError when the section would be larger
// than kMaxResourceSectionBytes.
std::string resourceSection(std::vector<Resource> resources, uint32_t sectionRva);

// Reading a launcher file's image descriptor (rules/image_descriptor.h), as `list` and a
// launcher packed from another launcher read it: where the region and the entry table lie in
// the file.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

struct DescribedData {
  const unsigned char* region;  // null when the descriptor gives none
  uint32_t regionLength;
  const unsigned char* table;  // null when the launcher carries no table
  uint32_t tableLength;
};

// What the descriptor of the launcher image `file` points at, checked as the launcher checks
// its own descriptor (isSoundDescriptor); nullopt when `file` is no PE image with a descriptor
// section. Throws ImageError when the descriptor or the data section is cut short, or the
// descriptor is damaged.
std::optional<DescribedData> describedData(const std::vector<unsigned char>& file);

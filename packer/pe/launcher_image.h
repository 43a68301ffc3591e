// Writing a launcher from a prebuilt launcher image, in memory: the application's data and the
// launcher's resources go into a copy of the image in sections of their own, the image's
// descriptor (rules/image_descriptor.h) is filled, and every header field made to agree.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "packer/pe/pe_format.h"
#include "packer/pe/resource_section.h"
#include "rules/image_descriptor.h"

// The section the packer adds after the application's data (kDataSection): the resources.
constexpr char kResourceSection[] = ".rsrc";
static_assert(sizeof kResourceSection - 1 <= kSectionNameBytes, "a section name has 8 bytes");

struct LauncherParts {
  std::array<std::u16string, kStringFields> strings;  // in DescriptorField order
  std::u16string fixedArguments;                      // each followed by a NUL
  uint32_t launchOptions = 0;                         // kSharedTargetOption, ...
  std::string entryTable;
  const unsigned char* region = nullptr;
  size_t regionBytes = 0;
  std::vector<Resource> resources;
  uint32_t timeStamp = 0;  // for the COFF header
};

// The launcher: `image` with the strings, the entry table, the region and the fixed arguments
// in read-only
// initialized data (section kDataSection) and `resources` in kResourceSection, both after the
// image's own sections; the descriptor's fields pointing at the data; the section count,
// SizeOfImage, SizeOfInitializedData, the resource directory, the time stamp and the checksum
// updated. Throws ImageError when `image` is not a prebuilt launcher: no PE32+ image, no empty
// descriptor, data after its last section, a resource directory or certificate of its own,
// or no room for two more section headers.
std::string writeLauncherImage(const std::string& image, const LauncherParts& parts);

// The image checksum of `image`: the sum of its 16-bit little-endian words (a last odd byte
// counts as a word) with the 4 bytes at `checksumOffset` taken as 0, folded to 16 bits after
// each addition, plus the image's length in bytes.
uint32_t peChecksum(const std::string& image, size_t checksumOffset);

// Reading payload regions back, for `list` and for launchers built from a region made before:
// every byte of the layout of rules/payload_format.h is checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct RegionEntry {
  std::u16string name;
  uint64_t size;  // of the file
  uint32_t storedChecksum;
  bool filtered;  // through the executable filter (rules/branch_filter.h)
};

struct Region {
  size_t offset;  // of the magic in the file
  size_t length;
  std::vector<RegionEntry> entries;
  // The first entry's first bytes, up to kProgramHeadBytes (packer/pe/windows_program.h): enough
  // to tell what kind of program it is.
  std::vector<unsigned char> mainHead;
};

// Finds and verifies the region in `file`: a region file, which must start with the magic and
// end with the trailer, or an executable (starting "MZ"). In a launcher the descriptor must be
// sound (isSoundDescriptor) and give the region exactly, and its entry table, when it has one,
// must list the region's entries; another executable's region is found by the magic followed
// by the frame magic and the frame descriptor the packer writes (whatever the window byte), and
// confirmed by its trailer. Verifies the frame (decoded at zstd's default window limit, 2^27 + 1
// bytes), each entry's name, size, filter header and stored checksum against its data (with the
// filter undone), the terminator as the
// frame's last content, the pad byte and the trailing length. Throws PackError naming the first
// problem.
Region readRegion(const std::vector<unsigned char>& file);

struct RegionFile {
  std::vector<unsigned char> bytes;
  Region region;
};

// readWholeFile and readRegion, with messages that name the file.
RegionFile readRegionFile(const std::filesystem::path& path);

// The `size` bytes at `offset` of the first entry's file in the verified region of `file`,
// decoded again (and unfiltered). Throws PackError when they run past the entry's end.
std::vector<unsigned char> firstEntryBytes(const RegionFile& file, uint64_t offset, uint64_t size);

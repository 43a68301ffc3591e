#include "packer/list_command.h"

#include <cstdio>

#include "packer/messages/text_encoding.h"
#include "packer/region/region_reader.h"

void listRegion(const std::filesystem::path& path) {
  const RegionFile file = readRegionFile(path);
  for (const RegionEntry& entry : file.region.entries) {
    std::printf("%10llu %08x %s\n", static_cast<unsigned long long>(entry.size),
                entry.storedChecksum, utf16ToUtf8(entry.name).c_str());
  }
}

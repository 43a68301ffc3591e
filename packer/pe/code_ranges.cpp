#include "packer/pe/code_ranges.h"

#include <algorithm>
#include <string>
#include <vector>

#include "packer/pe/pe_format.h"
#include "packer/pe/pe_image.h"

FilterRanges codeRanges(const unsigned char* bytes, size_t size) {
  FilterRanges ranges{};
  std::string why;
  const std::optional<PeHeaders> headers = readPeHeaders(bytes, size, why);
  if (!headers || headers->machine != kMachineAmd64) {
    return ranges;
  }
  std::vector<PeSection> code;
  for (const PeSection& section : headers->sections) {
    if ((section.characteristics & (kSectionCode | kSectionMemoryExecute)) != 0 &&
        section.rawSize > 0 && section.rawOffset < size) {
      code.push_back(section);
    }
  }
  std::stable_sort(code.begin(), code.end(), [](const PeSection& a, const PeSection& b) {
    return a.rawOffset < b.rawOffset;
  });
  uint64_t end = 0;
  for (const PeSection& section : code) {
    if (ranges.count == kMaxFilterRanges) {
      break;
    }
    if (section.rawOffset < end) {
      continue;
    }
    const uint64_t bytesInFile = std::min<uint64_t>(section.rawSize, size - section.rawOffset);
    ranges.ranges[ranges.count++] =
        FilterRange{section.rawOffset, static_cast<uint32_t>(bytesInFile), section.virtualAddress};
    end = section.rawOffset + bytesInFile;
  }
  return ranges;
}

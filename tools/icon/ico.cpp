#include "tools/icon/ico.h"

#include <stdexcept>
#include <string>

#include "rules/ico_format.h"
#include "rules/little_endian.h"

namespace {

constexpr uint16_t kPlanes = 1;
constexpr uint16_t kBitsPerPixel = 32;

uint8_t directorySize(int size) {
  if (size < 1 || size > kLargestIconPixels)
    throw std::invalid_argument("an icon image of " + std::to_string(size) + " pixels");
  return static_cast<uint8_t>(size == kLargestIconPixels ? 0 : size);
}

}  // namespace

std::vector<uint8_t> assembleIco(const std::vector<IconImage>& images) {
  std::vector<uint8_t> ico;
  appendLittleEndian<uint16_t>(ico, 0);  // reserved
  appendLittleEndian<uint16_t>(ico, kIcoType);
  appendLittleEndian<uint16_t>(ico, static_cast<uint16_t>(images.size()));
  size_t offset = kIcoHeaderBytes + kIcoEntryBytes * images.size();
  for (const IconImage& image : images) {
    uint8_t size = directorySize(image.size);
    ico.insert(ico.end(), {size, size, /* colour count */ 0, /* reserved */ 0});
    appendLittleEndian<uint16_t>(ico, kPlanes);
    appendLittleEndian<uint16_t>(ico, kBitsPerPixel);
    appendLittleEndian<uint32_t>(ico, static_cast<uint32_t>(image.png.size()));
    appendLittleEndian<uint32_t>(ico, static_cast<uint32_t>(offset));
    offset += image.png.size();
  }
  for (const IconImage& image : images)
    ico.insert(ico.end(), image.png.begin(), image.png.end());
  return ico;
}

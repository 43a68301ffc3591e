#include "build/icon/ico.h"

#include <stdexcept>
#include <string>

namespace {

constexpr uint16_t kIconResourceType = 1;
constexpr size_t kHeaderBytes = 6;
constexpr size_t kEntryBytes = 16;
constexpr int kLargestSize = 256;
constexpr uint16_t kPlanes = 1;
constexpr uint16_t kBitsPerPixel = 32;

void appendLittleEndian(std::vector<uint8_t>* out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// The directory's one-byte sizes hold 1 to 255; 0 stands for 256.
uint8_t directorySize(int size) {
  if (size < 1 || size > kLargestSize)
    throw std::invalid_argument("an icon image of " + std::to_string(size) + " pixels");
  return static_cast<uint8_t>(size == kLargestSize ? 0 : size);
}

}  // namespace

std::vector<uint8_t> assembleIco(const std::vector<IconImage>& images) {
  std::vector<uint8_t> ico;
  appendLittleEndian(&ico, 0, 2);  // reserved
  appendLittleEndian(&ico, kIconResourceType, 2);
  appendLittleEndian(&ico, static_cast<uint32_t>(images.size()), 2);
  size_t offset = kHeaderBytes + kEntryBytes * images.size();
  for (const IconImage& image : images) {
    uint8_t size = directorySize(image.size);
    ico.insert(ico.end(), {size, size, /* colour count */ 0, /* reserved */ 0});
    appendLittleEndian(&ico, kPlanes, 2);
    appendLittleEndian(&ico, kBitsPerPixel, 2);
    appendLittleEndian(&ico, static_cast<uint32_t>(image.png.size()), 4);
    appendLittleEndian(&ico, static_cast<uint32_t>(offset), 4);
    offset += image.png.size();
  }
  for (const IconImage& image : images)
    ico.insert(ico.end(), image.png.begin(), image.png.end());
  return ico;
}

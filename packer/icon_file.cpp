#include "packer/icon_file.h"

#include <cstdint>
#include <cstring>

#include "packer/little_endian.h"

namespace {

constexpr size_t kHeaderBytes = 6;
constexpr size_t kDirectoryEntryBytes = 16;
constexpr uint16_t kIconType = 1;
constexpr size_t kEntrySizeOffset = 8;
constexpr size_t kEntryOffsetOffset = 12;
constexpr unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint32_t kBitmapInfoHeaderBytes = 40;

std::string imageProblem(const std::vector<unsigned char>& bytes, size_t index) {
  const size_t entry = kHeaderBytes + index * kDirectoryEntryBytes;
  const uint64_t size = readLittleEndian<uint32_t>(bytes.data() + entry + kEntrySizeOffset);
  const uint64_t offset = readLittleEndian<uint32_t>(bytes.data() + entry + kEntryOffsetOffset);
  const std::string image = "image " + std::to_string(index + 1) + " ";
  if (size == 0) {
    return image + "is empty";
  }
  if (offset + size > bytes.size()) {
    return image + "(" + std::to_string(size) + " bytes at offset " + std::to_string(offset) +
           ") runs past the end of the file (" + std::to_string(bytes.size()) + " bytes)";
  }
  const bool png = size >= sizeof kPngSignature &&
                   std::memcmp(bytes.data() + offset, kPngSignature, sizeof kPngSignature) == 0;
  const bool bitmap = size >= kBitmapInfoHeaderBytes &&
                      readLittleEndian<uint32_t>(bytes.data() + offset) == kBitmapInfoHeaderBytes;
  if (!png && !bitmap) {
    return image + "is neither a PNG image nor a bitmap";
  }
  return "";
}

}  // namespace

std::string iconProblem(const std::vector<unsigned char>& bytes) {
  if (bytes.size() < kHeaderBytes) {
    return "is too short for an icon file";
  }
  if (readLittleEndian<uint16_t>(bytes.data()) != 0 ||
      readLittleEndian<uint16_t>(bytes.data() + 2) != kIconType) {
    return "is not an icon file (its header does not start 00 00 01 00)";
  }
  const size_t count = readLittleEndian<uint16_t>(bytes.data() + 4);
  if (count == 0) {
    return "holds no images";
  }
  if (kHeaderBytes + count * kDirectoryEntryBytes > bytes.size()) {
    return "is cut short: its directory of " + std::to_string(count) +
           " images runs past the end of the file";
  }
  for (size_t i = 0; i < count; ++i) {
    std::string problem = imageProblem(bytes, i);
    if (!problem.empty()) {
      return problem;
    }
  }
  return "";
}

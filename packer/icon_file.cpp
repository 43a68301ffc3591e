#include "packer/icon_file.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr size_t kHeaderBytes = 6;
constexpr size_t kDirectoryEntryBytes = 16;
constexpr uint16_t kIconType = 1;
constexpr size_t kEntrySizeOffset = 8;
constexpr size_t kEntryOffsetOffset = 12;
constexpr unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint32_t kBitmapInfoHeaderBytes = 40;

uint16_t u16At(const std::vector<unsigned char>& bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

uint32_t u32At(const std::vector<unsigned char>& bytes, size_t at) {
  return static_cast<uint32_t>(u16At(bytes, at)) | static_cast<uint32_t>(u16At(bytes, at + 2))
                                                       << 16;
}

std::string imageProblem(const std::vector<unsigned char>& bytes, size_t index) {
  const size_t entry = kHeaderBytes + index * kDirectoryEntryBytes;
  const uint64_t size = u32At(bytes, entry + kEntrySizeOffset);
  const uint64_t offset = u32At(bytes, entry + kEntryOffsetOffset);
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
  const bool bitmap =
      size >= kBitmapInfoHeaderBytes && u32At(bytes, offset) == kBitmapInfoHeaderBytes;
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
  if (u16At(bytes, 0) != 0 || u16At(bytes, 2) != kIconType) {
    return "is not an icon file (its header does not start 00 00 01 00)";
  }
  const size_t count = u16At(bytes, 4);
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

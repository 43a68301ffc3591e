#include "packer/pe/icon_file.h"

#include <zlib.h>

#include <cstdint>
#include <cstring>

#include "packer/pe/pe_format.h"
#include "rules/ico_format.h"
#include "rules/little_endian.h"

namespace {

constexpr unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// The header chunk follows the signature, big-endian: u32 data length 13 | "IHDR" | u32 width
// | u32 height | 5 bytes of depth, colour type and methods | u32 CRC-32 of type and data.
constexpr char kPngHeaderType[] = "IHDR";
constexpr uint32_t kPngHeaderDataBytes = 13;
constexpr size_t kPngChunkTypeBytes = 4;
constexpr size_t kPngHeaderChunkBytes = 4 + kPngChunkTypeBytes + kPngHeaderDataBytes + 4;
constexpr uint32_t kPngMaxDimension = 0x7FFFFFFF;
constexpr uint32_t kBitmapInfoHeaderBytes = 40;

uint32_t bigEndian32(const unsigned char* at) {
  return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | at[3];
}

// A PNG image's header chunk is whole: its length, type, dimensions (1 to 2^31 - 1) and CRC.
bool pngHeaderIntact(const unsigned char* image, size_t size) {
  if (size < sizeof kPngSignature + kPngHeaderChunkBytes) {
    return false;
  }
  const unsigned char* chunk = image + sizeof kPngSignature;
  const unsigned char* type = chunk + 4;
  const unsigned char* data = type + kPngChunkTypeBytes;
  const uint32_t width = bigEndian32(data);
  const uint32_t height = bigEndian32(data + 4);
  const uLong crc = crc32(0, type, kPngChunkTypeBytes + kPngHeaderDataBytes);
  return bigEndian32(chunk) == kPngHeaderDataBytes &&
         std::memcmp(type, kPngHeaderType, kPngChunkTypeBytes) == 0 && width >= 1 &&
         width <= kPngMaxDimension && height >= 1 && height <= kPngMaxDimension &&
         bigEndian32(data + kPngHeaderDataBytes) == crc;
}

const unsigned char* entryAt(const std::vector<unsigned char>& bytes, size_t index) {
  return bytes.data() + kIcoHeaderBytes + index * kIcoEntryBytes;
}

std::string imageProblem(const std::vector<unsigned char>& bytes, size_t index) {
  const unsigned char* entry = entryAt(bytes, index);
  const uint64_t size = readLittleEndian<uint32_t>(entry + kIcoEntryImageBytes);
  const uint64_t offset = readLittleEndian<uint32_t>(entry + kIcoEntryImageOffset);
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
  if (png && !pngHeaderIntact(bytes.data() + offset, size)) {
    return image + "is a PNG image whose header chunk (IHDR) is missing or damaged";
  }
  return "";
}

size_t imageCount(const std::vector<unsigned char>& bytes) {
  return readLittleEndian<uint16_t>(bytes.data() + kIcoCountOffset);
}

}  // namespace

std::string iconProblem(const std::vector<unsigned char>& bytes) {
  if (bytes.size() < kIcoHeaderBytes) {
    return "is too short for an icon file";
  }
  if (readLittleEndian<uint16_t>(bytes.data()) != 0 ||
      readLittleEndian<uint16_t>(bytes.data() + kIcoTypeOffset) != kIcoType) {
    return "is not an icon file (its header does not start 00 00 01 00)";
  }
  const size_t count = imageCount(bytes);
  if (count == 0) {
    return "holds no images";
  }
  if (kIcoHeaderBytes + count * kIcoEntryBytes > bytes.size()) {
    return "is cut short: its directory of " + std::to_string(count) +
           " images runs past the end of the file";
  }
  uint64_t imageBytes = 0;
  for (size_t i = 0; i < count; ++i) {
    std::string problem = imageProblem(bytes, i);
    if (!problem.empty()) {
      return problem;
    }
    imageBytes += readLittleEndian<uint32_t>(entryAt(bytes, i) + kIcoEntryImageBytes);
  }
  // Entries may share an image, which the launcher would carry once for each.
  return imageBytesProblem(imageBytes);
}

std::string imageBytesProblem(uint64_t imageBytes) {
  if (imageBytes > kMaxResourceSectionBytes) {
    return "has images of " + std::to_string(imageBytes) + " bytes in all, more than the " +
           std::to_string(kMaxResourceSectionBytes) + " a launcher's resources may hold";
  }
  return "";
}

std::vector<Resource> iconResources(const std::vector<unsigned char>& bytes) {
  const size_t count = imageCount(bytes);
  std::string group(reinterpret_cast<const char*>(bytes.data()), kIcoHeaderBytes);
  std::vector<Resource> resources;
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* entry = entryAt(bytes, i);
    const uint16_t id = static_cast<uint16_t>(i + 1);
    const size_t offset = readLittleEndian<uint32_t>(entry + kIcoEntryImageOffset);
    const size_t size = readLittleEndian<uint32_t>(entry + kIcoEntryImageBytes);
    resources.push_back({kResourceIcon, id,
                         std::string(reinterpret_cast<const char*>(bytes.data()) + offset, size)});
    group.append(reinterpret_cast<const char*>(entry), kGroupEntryResourceId);
    appendLittleEndian(group, id);
  }
  resources.push_back({kResourceGroupIcon, 1, group});
  return resources;
}

#include "packer/icon_file.h"

#include <cstdint>
#include <cstring>

#include "build/icon/ico_format.h"
#include "packer/pe_format.h"
#include "payload/little_endian.h"

namespace {

constexpr unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint32_t kBitmapInfoHeaderBytes = 40;

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
  for (size_t i = 0; i < count; ++i) {
    std::string problem = imageProblem(bytes, i);
    if (!problem.empty()) {
      return problem;
    }
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

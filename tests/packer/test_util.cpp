#include "tests/packer/test_util.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "packer/pe/resource_section.h"
#include "rules/ico_format.h"
#include "rules/little_endian.h"

namespace fs = std::filesystem;

namespace {

template <typename Unsigned>
void appendBigEndian(std::string& out, Unsigned value) {
  for (size_t i = sizeof value; i-- > 0;) {
    out += static_cast<char>((value >> (8 * i)) & 0xFF);
  }
}

void appendPngChunk(std::string& png, const std::string& type, const std::string& data) {
  appendBigEndian<uint32_t>(png, static_cast<uint32_t>(data.size()));
  const std::string typed = type + data;
  png += typed;
  appendBigEndian<uint32_t>(
      png, crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size())));
}

// A square RGBA image of one colour that depends on its size, so that each image differs.
std::string makePng(int size) {
  std::string header;
  appendBigEndian<uint32_t>(header, size);
  appendBigEndian<uint32_t>(header, size);
  header += std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA, no interlace
  std::string pixels;
  for (int row = 0; row < size; ++row) {
    pixels += '\0';  // no filter
    for (int column = 0; column < size; ++column) {
      pixels += std::string{char(size), 0x40, 0x20, -1};
    }
  }
  std::string packed(compressBound(pixels.size()), '\0');
  uLongf packedSize = packed.size();
  compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
           reinterpret_cast<const Bytef*>(pixels.data()), pixels.size());
  packed.resize(packedSize);
  std::string png("\x89PNG\r\n\x1a\n", 8);
  appendPngChunk(png, "IHDR", header);
  appendPngChunk(png, "IDAT", packed);
  appendPngChunk(png, "IEND", "");
  return png;
}

}  // namespace

ScratchFolder::ScratchFolder() {
  std::string pattern = (fs::path(::testing::TempDir()) / "packer-test-XXXXXX").native();
  if (!mkdtemp(pattern.data())) {
    throw std::runtime_error("mkdtemp failed");
  }
  path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  // Tests take permissions away; give them back so that everything can be removed.
  std::error_code ignored;
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (!it->is_symlink()) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
  fs::remove_all(path_, ignored);
}

void writeFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  if (!out.flush()) {
    throw std::runtime_error("cannot write " + path.string());
  }
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::vector<std::string> namesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename());
  }
  std::sort(names.begin(), names.end());
  return names;
}

ToolResult runPack(const std::vector<std::string>& args) {
  std::vector<std::string> argv{TARNIC_PACK};
  argv.insert(argv.end(), args.begin(), args.end());
  return runProgram(argv, fs::current_path());
}

std::string makeIcon(const std::vector<int>& sizes) {
  std::string icon;
  appendLittleEndian<uint16_t>(icon, 0);
  appendLittleEndian<uint16_t>(icon, 1);
  appendLittleEndian<uint16_t>(icon, static_cast<uint16_t>(sizes.size()));
  std::string images;
  for (int size : sizes) {
    const std::string png = makePng(size);
    icon += static_cast<char>(size % 256);
    icon += static_cast<char>(size % 256);
    icon += std::string(2, '\0');            // no palette, reserved
    appendLittleEndian<uint16_t>(icon, 1);   // planes
    appendLittleEndian<uint16_t>(icon, 32);  // bits per pixel
    appendLittleEndian<uint32_t>(icon, static_cast<uint32_t>(png.size()));
    appendLittleEndian<uint32_t>(
        icon,
        static_cast<uint32_t>(kIcoHeaderBytes + kIcoEntryBytes * sizes.size() + images.size()));
    images += png;
  }
  return icon + images;
}

std::string makeProgram(const ProgramHeaders& headers) {
  constexpr uint32_t kPeOffset = 0x40;
  const bool pe32 = headers.magic == 0x10B;
  const uint16_t optionalBytes = pe32 ? 224 : 240;
  std::string image = "MZ" + std::string(kPeOffset - 2, '\0');
  image.replace(0x3C, 4, std::string("\x40\0\0\0", 4));
  image += std::string("PE\0\0", 4);
  appendLittleEndian<uint16_t>(image, headers.machine);
  appendLittleEndian<uint16_t>(image, 0);  // sections
  image += std::string(12, '\0');          // time stamp, symbol table and count
  appendLittleEndian<uint16_t>(image, optionalBytes);
  appendLittleEndian<uint16_t>(image, headers.characteristics);
  std::string optional(optionalBytes, '\0');
  optional[0] = static_cast<char>(headers.magic & 0xFF);
  optional[1] = static_cast<char>(headers.magic >> 8);
  optional[68] = static_cast<char>(headers.subsystem);
  return image + optional + std::string(512, '\0');
}

std::string makeProgramWithIconGroup(uint32_t imageBytes, uint16_t entries) {
  constexpr uint32_t kSectionRva = 0x1000, kFileAlignment = 0x200, kPeOffset = 0x40;
  constexpr size_t kOptional = kPeOffset + 24, kSectionTable = kOptional + 240;
  std::string image(imageBytes, '\0');
  storeLittleEndian<uint32_t>(image, 0, 40);        // a bitmap's header size
  std::string group(std::string("\0\0\x01\0", 4));  // reserved, type 1 (an icon)
  appendLittleEndian<uint16_t>(group, entries);
  for (uint16_t i = 0; i < entries; ++i) {
    group += std::string("\x40\x40\0\0\x01\0\x20\0", 8);  // 64 x 64, 1 plane, 32 bits
    appendLittleEndian<uint32_t>(group, imageBytes);
    appendLittleEndian<uint16_t>(group, 1);
  }
  const std::string resources = resourceSection({{3, 1, image}, {14, 1, group}}, kSectionRva);
  std::string program = makeProgram();
  const uint32_t rawOffset =
      (program.size() + kFileAlignment - 1) / kFileAlignment * kFileAlignment;
  program.resize(rawOffset, '\0');
  storeLittleEndian<uint16_t>(program, kPeOffset + 6, 1);  // sections
  const uint32_t size = static_cast<uint32_t>(resources.size());
  storeLittleEndian<uint32_t>(program, kOptional + 56, kSectionRva + size);  // SizeOfImage
  storeLittleEndian<uint32_t>(program, kOptional + 108, 16);                 // directories
  // The third directory, the resources': RVA and size.
  storeLittleEndian<uint32_t>(program, kOptional + 112 + 2 * 8, kSectionRva);
  storeLittleEndian<uint32_t>(program, kOptional + 112 + 2 * 8 + 4, size);
  // The section header: name, virtual size and address, raw size and offset, ...,
  // characteristics (initialised data, readable).
  program.replace(kSectionTable, 8, std::string(".rsrc\0\0\0", 8));
  size_t at = kSectionTable + 8;
  for (uint32_t field : {size, kSectionRva, size, rawOffset}) {
    storeLittleEndian<uint32_t>(program, at, field);
    at += 4;
  }
  storeLittleEndian<uint32_t>(program, kSectionTable + 36, 0x40000040);
  return program + resources;
}

// Checks the built .ico the way Windows reads it, and the PNG encoder by decoding its output.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/icon/ico.h"
#include "tools/icon/png.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kPngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kIcoHeaderBytes = 6;
constexpr size_t kIcoEntryBytes = 16;

Bytes readFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t littleEndian(const Bytes& b, size_t at, int bytes) {
  uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i)
    value = value << 8 | b.at(at + i);
  return value;
}

uint32_t bigEndian32(const Bytes& b, size_t at) {
  return uint32_t(b.at(at)) << 24 | b.at(at + 1) << 16 | b.at(at + 2) << 8 | b.at(at + 3);
}

struct Chunk {
  std::string type;
  Bytes data;
};

// The chunks after the signature; throws on a bad signature, a cut chunk or a wrong CRC.
std::vector<Chunk> readChunks(const Bytes& png) {
  if (png.size() < kPngSignature.size() ||
      !std::equal(kPngSignature.begin(), kPngSignature.end(), png.begin()))
    throw std::runtime_error("no PNG signature");
  std::vector<Chunk> chunks;
  for (size_t at = kPngSignature.size(); at < png.size();) {
    uint32_t length = bigEndian32(png, at);
    if (at + 12 + length > png.size())
      throw std::runtime_error("chunk runs past the end");
    const uint8_t* typeAndData = png.data() + at + 4;
    if (crc32(0, typeAndData, 4 + length) != bigEndian32(png, at + 8 + length))
      throw std::runtime_error("wrong chunk CRC");
    chunks.push_back({std::string(typeAndData, typeAndData + 4),
                      Bytes(typeAndData + 4, typeAndData + 4 + length)});
    at += 12 + length;
  }
  return chunks;
}

int paeth(int a, int b, int c) {
  int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// The RGBA pixels of a non-interlaced 8-bit RGBA PNG, whatever filters its rows use; the
// filter of each row goes to `filters` when given.
Bytes decodeRgba(const Bytes& png, int size, std::vector<int>* filters = nullptr) {
  Bytes compressed;
  for (const Chunk& chunk : readChunks(png))
    if (chunk.type == "IDAT")
      compressed.insert(compressed.end(), chunk.data.begin(), chunk.data.end());
  size_t stride = size_t(size) * 4;
  Bytes raw((stride + 1) * size);
  uLongf length = raw.size();
  if (uncompress(raw.data(), &length, compressed.data(), compressed.size()) != Z_OK ||
      length != raw.size())
    throw std::runtime_error("IDAT does not inflate to the image size");
  Bytes pixels(stride * size);
  for (size_t y = 0; y < size_t(size); ++y) {
    const uint8_t* in = raw.data() + y * (stride + 1) + 1;
    uint8_t* out = pixels.data() + y * stride;
    for (size_t i = 0; i < stride; ++i) {
      int a = i >= 4 ? out[i - 4] : 0, b = y > 0 ? out[i - stride] : 0;
      int c = i >= 4 && y > 0 ? out[i - stride - 4] : 0;
      const int predictions[] = {0, a, b, (a + b) / 2, paeth(a, b, c)};
      uint8_t filter = raw[y * (stride + 1)];
      if (filter > 4)
        throw std::runtime_error("unknown row filter");
      out[i] = uint8_t(in[i] + predictions[filter]);
    }
    if (filters)
      filters->push_back(raw[y * (stride + 1)]);
  }
  return pixels;
}

struct Entry {
  int width, height;
  uint32_t planes, bitCount, length, offset;
};

std::vector<Entry> readDirectory(const Bytes& ico) {
  std::vector<Entry> entries;
  for (uint32_t i = 0; i < littleEndian(ico, 4, 2); ++i) {
    size_t at = kIcoHeaderBytes + i * kIcoEntryBytes;
    entries.push_back({ico.at(at), ico.at(at + 1), littleEndian(ico, at + 4, 2),
                       littleEndian(ico, at + 6, 2), littleEndian(ico, at + 8, 4),
                       littleEndian(ico, at + 12, 4)});
  }
  return entries;
}

Bytes imageOf(const Bytes& ico, const Entry& entry) {
  return Bytes(ico.begin() + entry.offset, ico.begin() + entry.offset + entry.length);
}

class IconFile : public testing::Test {
 protected:
  void SetUp() override {
    ico = readFile(TESSALINE_ICON_FILE);
    ASSERT_GE(ico.size(), kIcoHeaderBytes) << TESSALINE_ICON_FILE;
  }
  Bytes ico;
};

const int kSizes[] = {16, 24, 32, 48, 64, 128, 256};

}  // namespace

TEST_F(IconFile, ListsSevenImagesFromSmallestToLargest) {
  EXPECT_EQ(littleEndian(ico, 0, 2), 0u);
  EXPECT_EQ(littleEndian(ico, 2, 2), 1u) << "type 1 is an icon";
  std::vector<Entry> entries = readDirectory(ico);
  ASSERT_EQ(entries.size(), 7u);
  // Images lie back to back after the directory, each inside the file.
  size_t next = kIcoHeaderBytes + 7 * kIcoEntryBytes;
  for (size_t i = 0; i < entries.size(); ++i) {
    int expected = kSizes[i] == 256 ? 0 : kSizes[i];
    EXPECT_EQ(entries[i].width, expected) << i;
    EXPECT_EQ(entries[i].height, expected) << i;
    EXPECT_EQ(entries[i].planes, 1u) << i;
    EXPECT_EQ(entries[i].bitCount, 32u) << i;
    EXPECT_EQ(entries[i].offset, next) << i;
    next = size_t(entries[i].offset) + entries[i].length;
  }
  EXPECT_EQ(next, ico.size());
}

TEST_F(IconFile, HoldsAnRgbaPngOfTheEntrySizeInEachEntry) {
  std::vector<Entry> entries = readDirectory(ico);
  ASSERT_EQ(entries.size(), 7u);
  for (size_t i = 0; i < entries.size(); ++i) {
    ASSERT_LE(size_t(entries[i].offset) + entries[i].length, ico.size()) << i;
    std::vector<Chunk> chunks = readChunks(imageOf(ico, entries[i]));
    ASSERT_GE(chunks.size(), 3u) << i;
    const Bytes& header = chunks.front().data;
    EXPECT_EQ(chunks.front().type, "IHDR") << i;
    ASSERT_EQ(header.size(), 13u) << i;
    EXPECT_EQ(bigEndian32(header, 0), uint32_t(kSizes[i])) << i;
    EXPECT_EQ(bigEndian32(header, 4), uint32_t(kSizes[i])) << i;
    EXPECT_EQ(header[8], 8) << "bit depth of image " << i;
    EXPECT_EQ(header[9], 6) << "colour type RGBA of image " << i;
    EXPECT_EQ(header[12], 0) << "interlace of image " << i;
    EXPECT_EQ(chunks.back().type, "IEND") << i;
  }
}

TEST_F(IconFile, DrawsOpaqueCardsOnATransparentBackground) {
  std::vector<Entry> entries = readDirectory(ico);
  ASSERT_EQ(entries.size(), 7u);
  for (size_t i = 0; i < entries.size(); ++i) {
    int size = kSizes[i];
    Bytes pixels = decodeRgba(imageOf(ico, entries[i]), size);
    auto alphaAt = [&](int x, int y) { return pixels[(size_t(y) * size + x) * 4 + 3]; };
    EXPECT_EQ(alphaAt(0, 0), 0) << size;
    EXPECT_EQ(alphaAt(size / 2, size / 2), 255) << size;
    size_t partial = 0;
    for (size_t p = 3; p < pixels.size(); p += 4)
      partial += pixels[p] > 0 && pixels[p] < 255;
    EXPECT_GT(partial, 0u) << "edges are anti-aliased at " << size;
  }
}

TEST(PngEncoder, RoundTripsEveryPixelUnderEachRowFilter) {
  // Rows made so that each filter predicts one of them exactly and wins it: noise (none), a
  // copy of the row above (up), a ramp (sub), the mean of left and above (average), the Paeth
  // prediction (Paeth). Wrapping byte arithmetic is part of every case.
  Image image;
  image.size = 8;
  const size_t stride = 8 * 4;
  uint32_t seed = 12345;
  auto noise = [&seed] { return uint8_t((seed = seed * 1103515245 + 12345) >> 16); };
  for (size_t i = 0; i < stride; ++i)
    image.rgba.push_back(noise());
  for (int y = 1; y < image.size; ++y) {
    const uint8_t* above = image.rgba.data() + (y - 1) * stride;
    Bytes row(stride);
    for (size_t i = 0; i < stride; ++i) {
      int left = i >= 4 ? row[i - 4] : 0, up = above[i], upLeft = i >= 4 ? above[i - 4] : 0;
      const int rows[] = {noise(), up, left + 77, (left + up) / 2, paeth(left, up, upLeft)};
      row[i] = uint8_t(i < 4 ? noise() : rows[(y - 1) % 5]);
    }
    image.rgba.insert(image.rgba.end(), row.begin(), row.end());
  }
  std::vector<int> filters;
  EXPECT_EQ(decodeRgba(encodePng(image), image.size, &filters), image.rgba);
  for (int filter = 0; filter < 5; ++filter)
    EXPECT_NE(std::find(filters.begin(), filters.end(), filter), filters.end()) << filter;
}

TEST(IcoAssembler, RefusesSizesTheDirectoryCannotHold) {
  EXPECT_THROW(assembleIco({{257, {}}}), std::invalid_argument);
  EXPECT_THROW(assembleIco({{0, {}}}), std::invalid_argument);
  EXPECT_NO_THROW(assembleIco({{1, {}}, {256, {}}}));
}

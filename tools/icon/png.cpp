#include "tools/icon/png.h"

#include <zlib.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

constexpr uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kBytesPerPixel = 4;
constexpr uint8_t kBitDepth = 8;
constexpr uint8_t kColorTypeRgba = 6;
// PNG's row filters by their numbers in the file; each predicts a byte from its neighbours.
enum RowFilter { kNoFilter, kSubFilter, kUpFilter, kAverageFilter, kPaethFilter, kFilterCount };

void appendBigEndian32(std::vector<uint8_t>* out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out->push_back(static_cast<uint8_t>(value >> shift));
}

void appendChunk(std::vector<uint8_t>* out, const char type[4], const std::vector<uint8_t>& data) {
  appendBigEndian32(out, static_cast<uint32_t>(data.size()));
  size_t typeStart = out->size();
  out->insert(out->end(), type, type + 4);
  out->insert(out->end(), data.begin(), data.end());
  // The checksum covers the type and the data, not the length.
  uLong crc = crc32(0, out->data() + typeStart, static_cast<uInt>(out->size() - typeStart));
  appendBigEndian32(out, static_cast<uint32_t>(crc));
}

uint8_t paethPredictor(int left, int up, int upLeft) {
  int estimate = left + up - upLeft;
  int toLeft = std::abs(estimate - left), toUp = std::abs(estimate - up),
      toUpLeft = std::abs(estimate - upLeft);
  if (toLeft <= toUp && toLeft <= toUpLeft)
    return static_cast<uint8_t>(left);
  return static_cast<uint8_t>(toUp <= toUpLeft ? up : upLeft);
}

// The row under `filter`, given the row above (zeros for the first row).
std::vector<uint8_t> filterRow(int filter, const uint8_t* row, const uint8_t* above,
                               size_t length) {
  std::vector<uint8_t> out(length);
  for (size_t i = 0; i < length; ++i) {
    int left = i >= kBytesPerPixel ? row[i - kBytesPerPixel] : 0;
    int upLeft = i >= kBytesPerPixel ? above[i - kBytesPerPixel] : 0;
    int predicted = 0;
    switch (filter) {
      case kSubFilter:
        predicted = left;
        break;
      case kUpFilter:
        predicted = above[i];
        break;
      case kAverageFilter:
        predicted = (left + above[i]) / 2;
        break;
      case kPaethFilter:
        predicted = paethPredictor(left, above[i], upLeft);
        break;
    }
    out[i] = static_cast<uint8_t>(row[i] - predicted);
  }
  return out;
}

// The usual choice: the filter whose output, read as signed bytes, sums smallest.
int bestFilter(const uint8_t* row, const uint8_t* above, size_t length) {
  int best = kNoFilter;
  long bestSum = -1;
  for (int filter = kNoFilter; filter < kFilterCount; ++filter) {
    long sum = 0;
    for (uint8_t byte : filterRow(filter, row, above, length))
      sum += std::abs(int8_t(byte));
    if (bestSum < 0 || sum < bestSum) {
      best = filter;
      bestSum = sum;
    }
  }
  return best;
}

std::vector<uint8_t> filteredRows(const Image& image) {
  size_t stride = static_cast<size_t>(image.size) * kBytesPerPixel;
  std::vector<uint8_t> zeros(stride, 0);
  std::vector<uint8_t> rows;
  for (int y = 0; y < image.size; ++y) {
    const uint8_t* row = image.rgba.data() + y * stride;
    const uint8_t* above = y == 0 ? zeros.data() : row - stride;
    int filter = bestFilter(row, above, stride);
    rows.push_back(static_cast<uint8_t>(filter));
    std::vector<uint8_t> filtered = filterRow(filter, row, above, stride);
    rows.insert(rows.end(), filtered.begin(), filtered.end());
  }
  return rows;
}

std::vector<uint8_t> deflate(const std::vector<uint8_t>& data) {
  uLongf length = compressBound(static_cast<uLong>(data.size()));
  std::vector<uint8_t> out(length);
  int status = compress2(out.data(), &length, data.data(), static_cast<uLong>(data.size()),
                         Z_BEST_COMPRESSION);
  if (status != Z_OK)
    throw std::runtime_error("compress2 failed with " + std::to_string(status));
  out.resize(length);
  return out;
}

std::vector<uint8_t> headerData(const Image& image) {
  std::vector<uint8_t> header;
  appendBigEndian32(&header, static_cast<uint32_t>(image.size));
  appendBigEndian32(&header, static_cast<uint32_t>(image.size));
  // Bit depth, colour type, then compression, filter method and interlace all 0.
  header.insert(header.end(), {kBitDepth, kColorTypeRgba, 0, 0, 0});
  return header;
}

}  // namespace

std::vector<uint8_t> encodePng(const Image& image) {
  std::vector<uint8_t> png(std::begin(kSignature), std::end(kSignature));
  appendChunk(&png, "IHDR", headerData(image));
  appendChunk(&png, "IDAT", deflate(filteredRows(image)));
  appendChunk(&png, "IEND", {});
  return png;
}

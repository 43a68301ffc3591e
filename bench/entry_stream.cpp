#include "bench/entry_stream.h"

#include <cstdlib>

#include <zlib.h>
#include <zstd.h>

#include "bench/bench_process.h"
#include "payload/little_endian.h"
#include "payload/payload_format.h"
#include "payload/payload_reader.h"

uint64_t decompressFrame(const std::string& region, std::string* sink) {
  if (region.size() < kRegionOverheadBytes) {
    failBench("region too short");
  }
  ZSTD_DStream* decoder = ZSTD_createDStream();
  void* window = malloc(kDecodeStepBytes);
  if (decoder == nullptr || window == nullptr) {
    failBench("out of memory");
  }
  ZSTD_inBuffer input{region.data() + kPayloadMagicBytes, region.size() - kPayloadMagicBytes, 0};
  uint64_t produced = 0;
  // The decoder returns 0 once the frame is complete and flushed; the trailer stays unread.
  for (size_t result = 1; result != 0;) {
    ZSTD_outBuffer output{window, kDecodeStepBytes, 0};
    result = ZSTD_decompressStream(decoder, &output, &input);
    if (ZSTD_isError(result) || (output.pos == 0 && input.pos == input.size)) {
      failBench("the region's frame does not decode");
    }
    if (sink != nullptr) {
      sink->append(static_cast<const char*>(window), output.pos);
    }
    produced += output.pos;
  }
  ZSTD_freeDStream(decoder);
  free(window);
  return produced;
}

std::vector<StreamEntry> parseEntries(const std::string& stream) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(stream.data());
  const size_t length = stream.size();
  std::vector<StreamEntry> entries;
  size_t at = 0;
  for (;;) {
    std::wstring name;
    for (;; at += kNameUnitBytes) {
      if (at + kNameUnitBytes > length) {
        failBench("entry stream ends inside a name");
      }
      auto unit = static_cast<wchar_t>(readLittleEndian<uint16_t>(bytes + at));
      if (unit == kNameTerminator) {
        break;
      }
      name += unit;
    }
    at += kNameUnitBytes;
    if (name.empty()) {
      break;
    }
    if (at + kSizeFieldBytes + kChecksumFieldBytes > length) {
      failBench("entry stream ends inside a header");
    }
    uint64_t size = readLittleEndian<uint64_t>(bytes + at);
    at += kSizeFieldBytes + kChecksumFieldBytes;
    if (size > length - at) {
      failBench("entry stream ends inside the data of " + narrow(name));
    }
    entries.push_back({name, bytes + at, size});
    at += size;
  }
  if (at != length) {
    failBench("bytes follow the entry stream's terminator");
  }
  return entries;
}

namespace {

void appendField(std::string& out, uint64_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) {
    out += static_cast<char>(value >> (8 * i) & 0xFF);
  }
}

}  // namespace

uint32_t crcOf(const unsigned char* data, uint64_t size) {
  uLong crc = crc32(0, nullptr, 0);
  for (uint64_t at = 0; at < size;) {
    uInt count = size - at < (1u << 30) ? static_cast<uInt>(size - at) : 1u << 30;
    crc = crc32(crc, data + at, count);
    at += count;
  }
  return static_cast<uint32_t>(crc);
}

std::string entryTableOf(const std::vector<StreamEntry>& entries) {
  std::string table(reinterpret_cast<const char*>(kTableMagic), kTableMagicBytes);
  appendField(table, entries.size(), kTableCountBytes);
  for (const StreamEntry& entry : entries) {
    appendField(table, entry.name.size(), kTableNameLengthBytes);
    for (wchar_t unit : entry.name) {
      appendField(table, static_cast<uint16_t>(unit), kNameUnitBytes);
    }
    appendField(table, entry.size, kSizeFieldBytes);
    appendField(table, storedChecksum(crcOf(entry.data, entry.size)), kChecksumFieldBytes);
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(table.data());
  appendField(table, crcOf(bytes, table.size()), kTableChecksumBytes);
  return table;
}

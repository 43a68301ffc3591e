#include "bench/entry_stream.h"

#include <cstdlib>

#include <zstd.h>

#include "bench/bench_process.h"
#include "payload/payload_reader.h"
#include "rules/entry_table_writer.h"
#include "rules/little_endian.h"
#include "rules/payload_format.h"

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

std::string entryTableOf(const std::vector<StreamEntry>& entries) {
  std::string table = beginEntryTable(static_cast<uint32_t>(entries.size()));
  for (const StreamEntry& entry : entries) {
    appendTableEntry(table, entry.name.data(), entry.name.size(), entry.size,
                     storedChecksum(crc32Of(entry.data, entry.size)));
  }
  sealEntryTable(table);
  return table;
}

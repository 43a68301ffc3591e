#include "payload/payload_reader.h"

#include <cstdlib>
#include <cstring>

#include <zstd.h>  // streaming decoder at default limits: window up to 2^27 + 1 bytes

#include "diagnostics/fatal.h"
#include "payload/payload_format.h"

namespace {

ZSTD_DStream* decoder;
ZSTD_inBuffer input;
// Outside a decoder call: size = bytes the last call produced, pos = read cursor.
ZSTD_outBuffer window;
// The last decoder call filled the whole window, so the decoder may hold more output even when
// the input is used up. It outlives a single read: a window filled at the end of one read is
// handed out by the next, which must still ask the decoder for the rest.
bool outputPending;

void refillWindow() {
  window.pos = 0;
  window.size = kWindowBytes;
  size_t result = ZSTD_decompressStream(decoder, &window, &input);
  outputPending = window.pos == kWindowBytes;
  if (ZSTD_isError(result)) {
    failDecode();
  }
  window.size = window.pos;
  window.pos = 0;
}

}  // namespace

void openPayloadRegion(const unsigned char* region, uint64_t length) {
  if (length < kPayloadMagicBytes || memcmp(region, kPayloadMagic, kPayloadMagicBytes) != 0) {
    failHeaderMissing();
  }
  void* buffer = malloc(kWindowBytes);
  if (buffer == nullptr) {
    failOutOfMemory();
  }
  decoder = ZSTD_createDStream();
  if (decoder == nullptr) {
    failOutOfMemory();
  }
  window = ZSTD_outBuffer{buffer, 0, 0};
  input = ZSTD_inBuffer{region + kPayloadMagicBytes, length - kPayloadMagicBytes, 0};
  outputPending = false;
}

void readPayloadBytes(void* destination, uint64_t count) {
  unsigned char* out = static_cast<unsigned char*>(destination);
  while (count > 0) {
    size_t available = window.size - window.pos;
    if (available != 0) {
      size_t take = count < available ? static_cast<size_t>(count) : available;
      memcpy(out, static_cast<unsigned char*>(window.dst) + window.pos, take);
      out += take;
      count -= take;
      window.pos += take;
    } else if (input.pos < input.size || outputPending) {
      refillWindow();
    } else {
      failDecode();
    }
  }
}

void closePayload() {
  ZSTD_freeDStream(decoder);
  decoder = nullptr;
  free(window.dst);
  window = ZSTD_outBuffer{};
}

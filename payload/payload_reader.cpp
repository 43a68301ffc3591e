#include "payload/payload_reader.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <zstd.h>  // streaming decoder at default limits: window up to 2^27 + 1 bytes

#include "diagnostics/fatal.h"
#include "rules/payload_format.h"

namespace {

// The caller hands space back to the decoder at least this often, so that the decoder never
// waits for a caller that is busy writing a large file.
constexpr size_t kReleaseStepBytes = size_t{512} << 10;

static_assert(kQueueBytes % kReleaseStepBytes == 0 && kReleaseStepBytes % kDecodeStepBytes == 0,
              "spans and decoder steps never straddle the end of the queue needlessly");

// The region's pages that the decoder has passed leave the working set in spans of at least
// this many bytes. They are pages of the launcher's file, not private memory, but left alone
// they would stay until the end and raise the peak working set by the whole region.
constexpr size_t kInputReleaseBytes = size_t{1} << 20;

enum class DecoderState { kDecoding, kEnded, kFailed };

// Shared between the two threads, under `lock`. Positions count bytes of the entry stream since
// the start; a byte's place in the queue is its position modulo kQueueBytes.
SRWLOCK lock = SRWLOCK_INIT;
CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
uint64_t produced;
uint64_t consumed;
DecoderState state;
bool closing;

// The decoder thread's own. The input's whole pages before the offset `inputReleased`, a page
// boundary, are out of the working set; `pageBytes` is 0 when the input's pages stay.
ZSTD_DStream* decoder;
ZSTD_inBuffer input;
size_t inputReleased;
size_t pageBytes;
unsigned char* queue;
HANDLE decoderThread;

// The caller's own: its read position and how far it knows the stream to be decoded.
uint64_t readAt;
uint64_t readable;

// Room the decoder may fill at `produced`, waiting for the caller to free some; 0 when the
// reader is closing.
size_t awaitRoom() {
  AcquireSRWLockExclusive(&lock);
  while (produced - consumed == kQueueBytes && !closing) {
    SleepConditionVariableSRW(&changed, &lock, INFINITE, /* flags */ 0);
  }
  size_t room = 0;
  if (!closing) {
    uint64_t free = kQueueBytes - (produced - consumed);
    uint64_t toEnd = kQueueBytes - produced % kQueueBytes;
    room = static_cast<size_t>(free < toEnd ? free : toEnd);
    room = room < kDecodeStepBytes ? room : kDecodeStepBytes;
  }
  ReleaseSRWLockExclusive(&lock);
  return room;
}

void publish(uint64_t bytes, DecoderState newState) {
  AcquireSRWLockExclusive(&lock);
  produced += bytes;
  state = newState;
  WakeAllConditionVariable(&changed);
  ReleaseSRWLockExclusive(&lock);
}

// Where releasing the input's passed pages starts, as an offset into the input: its first page
// boundary when the region lies in an image, whose pages the system reads in again from the file
// should anyone touch them. Sets pageBytes, which stays 0 otherwise: a caller's own memory would
// lose its content.
size_t firstReleasablePage(const unsigned char* frame) {
  pageBytes = 0;
  MEMORY_BASIC_INFORMATION block;
  if (VirtualQuery(frame, &block, sizeof block) != sizeof block || block.Type != MEM_IMAGE) {
    return 0;
  }
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  pageBytes = system.dwPageSize;
  return (pageBytes - reinterpret_cast<uintptr_t>(frame) % pageBytes) % pageBytes;
}

// Takes the whole pages of the input that the decoder has passed out of the working set; the
// reader never goes back to them. Windows removes pages that are not locked when asked to
// unlock them (and then reports ERROR_NOT_LOCKED); Wine leaves them, but drops them when told
// that their content is of no further interest. Either call is advice that the other system
// may refuse or ignore, and a page either leaves in place is merely kept: their results do
// not matter.
void releasePassedInput() {
  if (pageBytes == 0 || input.pos < inputReleased + kInputReleaseBytes) {
    return;
  }
  const size_t passed = input.pos - (input.pos - inputReleased) % pageBytes;
  void* pages = const_cast<void*>(input.src);
  pages = static_cast<unsigned char*>(pages) + inputReleased;
  VirtualUnlock(pages, passed - inputReleased);
  VirtualAlloc(pages, passed - inputReleased, MEM_RESET, PAGE_READONLY);
  inputReleased = passed;
}

// Decodes until the input is used up with no output pending, an error, or the reader closes.
// A call that fills its whole output may leave output in the decoder even when the input is
// used up, so the decoder is asked again then.
DWORD WINAPI decodeFrame(void* /* unused */) {
  bool outputPending = false;
  for (size_t room; (room = awaitRoom()) > 0;) {
    if (input.pos >= input.size && !outputPending) {
      publish(0, DecoderState::kEnded);
      break;
    }
    ZSTD_outBuffer output{queue + produced % kQueueBytes, room, 0};
    size_t result = ZSTD_decompressStream(decoder, &output, &input);
    outputPending = output.pos == output.size;
    if (ZSTD_isError(result)) {
      publish(0, DecoderState::kFailed);
      break;
    }
    publish(output.pos, DecoderState::kDecoding);
    releasePassedInput();
  }
  return 0;
}

// Hands everything read so far back to the decoder.
void releaseRead() {
  AcquireSRWLockExclusive(&lock);
  consumed = readAt;
  WakeAllConditionVariable(&changed);
  ReleaseSRWLockExclusive(&lock);
}

// Waits until the decoder has produced bytes beyond readAt; false when it never will.
bool awaitBytes() {
  AcquireSRWLockExclusive(&lock);
  consumed = readAt;
  WakeAllConditionVariable(&changed);
  while (produced == readAt && state == DecoderState::kDecoding) {
    SleepConditionVariableSRW(&changed, &lock, INFINITE, /* flags */ 0);
  }
  readable = produced;
  ReleaseSRWLockExclusive(&lock);
  return readable > readAt;
}

// The contiguous bytes at readAt, at most `count`, waiting for them; ends the process when the
// stream has none left.
size_t contiguousBytes(uint64_t count) {
  if (readAt - consumed >= kReleaseStepBytes) {
    releaseRead();
  }
  if (readable == readAt && !awaitBytes()) {
    failDecode();
  }
  uint64_t available = readable - readAt;
  uint64_t toEnd = kQueueBytes - readAt % kQueueBytes;
  uint64_t bytes = count < available ? count : available;
  bytes = bytes < toEnd ? bytes : toEnd;
  return static_cast<size_t>(bytes < kReleaseStepBytes ? bytes : kReleaseStepBytes);
}

// Every failure while the decoder runs ends the process through exit(), whose handlers free
// what the decoder thread may still be using: the thread stops before any of them runs.
// True when the thread has ended; a wait that fails leaves it to the process's end.
bool stopDecoder() {
  if (decoderThread == nullptr) {
    return true;
  }
  AcquireSRWLockExclusive(&lock);
  closing = true;
  WakeAllConditionVariable(&changed);
  ReleaseSRWLockExclusive(&lock);
  return WaitForSingleObject(decoderThread, INFINITE) == WAIT_OBJECT_0;
}

void stopDecoderAtExit() {
  stopDecoder();
}

}  // namespace

void checkPayloadHeader(const unsigned char* region, uint64_t length) {
  if (length < kPayloadMagicBytes || memcmp(region, kPayloadMagic, kPayloadMagicBytes) != 0) {
    failHeaderMissing();
  }
}

void openPayload(const unsigned char* region, uint64_t length) {
  checkPayloadHeader(region, length);
  queue = static_cast<unsigned char*>(malloc(kQueueBytes));
  if (queue == nullptr) {
    failOutOfMemory();
  }
  decoder = ZSTD_createDStream();
  if (decoder == nullptr) {
    failOutOfMemory();
  }
  input = ZSTD_inBuffer{region + kPayloadMagicBytes, length - kPayloadMagicBytes, 0};
  inputReleased = firstReleasablePage(region + kPayloadMagicBytes);
  produced = consumed = readAt = readable = 0;
  state = DecoderState::kDecoding;
  closing = false;
  // Registered before the thread first starts, as the last handler, so that it runs first.
  static bool stopRegistered = false;
  if (!stopRegistered && atexit(stopDecoderAtExit) != 0) {
    failOutOfMemory();
  }
  stopRegistered = true;
  decoderThread = CreateThread(/* security */ nullptr, /* default stack */ 0, decodeFrame,
                               /* argument */ nullptr, /* flags */ 0, /* thread id */ nullptr);
  if (decoderThread == nullptr) {
    failOutOfMemory();
  }
}

void readPayloadBytes(void* destination, uint64_t count) {
  unsigned char* out = static_cast<unsigned char*>(destination);
  while (count > 0) {
    size_t bytes = contiguousBytes(count);
    memcpy(out, queue + readAt % kQueueBytes, bytes);
    out += bytes;
    count -= bytes;
    readAt += bytes;
  }
}

const unsigned char* takePayloadBytes(uint64_t count, size_t* taken) {
  *taken = contiguousBytes(count);
  const unsigned char* bytes = queue + readAt % kQueueBytes;
  readAt += *taken;
  return bytes;
}

void closePayload() {
  // Nothing the thread may still use is freed unless it has ended.
  if (!stopDecoder()) {
    failUnpack();
  }
  CloseHandle(decoderThread);
  decoderThread = nullptr;
  ZSTD_freeDStream(decoder);
  decoder = nullptr;
  free(queue);
  queue = nullptr;
}

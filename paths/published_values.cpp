#include "paths/published_values.h"

#include <windows.h>

#include "paths/number_text.h"

namespace {

constexpr char kUrlSafeBase64[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
constexpr int kRandomTagBytes = 8;
constexpr int64_t kFileTimeUnitsPerMicrosecond = 10;
constexpr int64_t kMicrosecondsPerSecond = 1000000;
constexpr size_t kMicrosecondDigits = 6;

uint32_t xorshiftStep(uint32_t s) {
  s ^= s << 13;
  s ^= s >> 17;
  s ^= s << 5;
  return s;
}

// Copies an ASCII number text into a wide buffer; it always fits kPublishedValueUnits.
int64_t readSystemTime() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32) |
                              now.dwLowDateTime);
}

}  // namespace

uint32_t randomTagSeed(uint64_t counter, uint32_t processId, uint64_t address) {
  uint32_t seed = static_cast<uint32_t>(counter >> 32) ^ static_cast<uint32_t>(counter) ^
                  processId ^ static_cast<uint32_t>(address >> 32) ^ static_cast<uint32_t>(address);
  return seed == 0 ? 1 : seed;
}

void encodeRandomTag(uint32_t seed, wchar_t* tag) {
  unsigned char bytes[kRandomTagBytes];
  for (unsigned char& byte : bytes) {
    seed = xorshiftStep(seed);
    byte = static_cast<unsigned char>(seed);
  }
  // Six bits a character, most significant first; the last character carries the final four
  // bits and two zero bits.
  size_t out = 0;
  uint32_t bits = 0;
  int pending = 0;
  for (unsigned char byte : bytes) {
    bits = (bits << 8) | byte;
    pending += 8;
    while (pending >= 6) {
      pending -= 6;
      tag[out++] = static_cast<wchar_t>(kUrlSafeBase64[(bits >> pending) & 0x3F]);
    }
  }
  if (pending > 0) {
    tag[out++] = static_cast<wchar_t>(kUrlSafeBase64[(bits << (6 - pending)) & 0x3F]);
  }
  tag[out] = L'\0';
}

void formatTimeUs(int64_t fileTime, wchar_t* text) {
  int64_t microseconds = (fileTime / kFileTimeUnitsPerMicrosecond) % kMicrosecondsPerSecond;
  formatDecimal(static_cast<uint64_t>(microseconds), kMicrosecondDigits, text);
}

void formatStartTime(int64_t fileTime, wchar_t* text) {
  formatDecimal(static_cast<uint64_t>(fileTime), /* digits at least */ 1, text);
}

void makeRandomTag(wchar_t* text) {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  uint32_t seed = randomTagSeed(static_cast<uint64_t>(counter.QuadPart), GetCurrentProcessId(),
                                reinterpret_cast<uintptr_t>(&counter));
  encodeRandomTag(seed, text);
}

void makeTimeUs(wchar_t* text) {
  formatTimeUs(readSystemTime(), text);
}

void makeStartTime(wchar_t* text) {
  formatStartTime(readSystemTime(), text);
}

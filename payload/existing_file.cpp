#include "payload/existing_file.h"

#include <windows.h>
#include <zlib.h>  // crc32, as the packer computed the stored checksums

#include "rules/payload_format.h"

namespace {

unsigned char readBuffer[kReadBytes];

bool stopped(const std::atomic<bool>* stop) {
  return stop != nullptr && stop->load(std::memory_order_relaxed);
}

// Reads `file` to its end through crc32; false when it is not `size` bytes long, or a read
// fails or is stopped. A read of a disk file returns fewer bytes than asked only at the end.
bool checksumOfFile(HANDLE file, uint64_t size, unsigned char* buffer,
                    const std::atomic<bool>* stop, uint32_t* checksum) {
  uLong crc = crc32(0, nullptr, 0);
  for (uint64_t remaining = size;;) {
    DWORD wanted = remaining < kReadBytes ? static_cast<DWORD>(remaining) + 1 : kReadBytes;
    DWORD got = 0;
    if (stopped(stop) || !ReadFile(file, buffer, wanted, &got, /* overlapped */ nullptr) ||
        got > remaining) {
      return false;
    }
    crc = crc32(crc, buffer, got);
    remaining -= got;
    if (got < wanted) {
      *checksum = storedChecksum(static_cast<uint32_t>(crc));
      return remaining == 0;
    }
  }
}

}  // namespace

bool fileHoldsEntry(const wchar_t* path, uint64_t size, uint32_t stored, unsigned char* buffer,
                    const std::atomic<bool>* stop) {
  HANDLE file =
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  /* security */ nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                  /* template */ nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  uint32_t checksum = 0;
  bool holds = checksumOfFile(file, size, buffer, stop, &checksum) && checksum == stored;
  CloseHandle(file);
  return holds;
}

bool fileHoldsEntry(const wchar_t* path, uint64_t size, uint32_t stored) {
  return fileHoldsEntry(path, size, stored, readBuffer, /* stop */ nullptr);
}

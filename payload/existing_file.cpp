#include "payload/existing_file.h"

#include <windows.h>
#include <zlib.h>  // crc32, as the packer computed the stored checksums

#include "payload/payload_format.h"

namespace {

unsigned char readBuffer[kReadBytes];

// Reads `size` bytes of `file` into crc32; false when the file ends or fails first.
bool checksumOfFile(HANDLE file, uint64_t size, uint32_t* checksum) {
  uLong crc = crc32(0, nullptr, 0);
  for (uint64_t remaining = size; remaining > 0;) {
    DWORD wanted = remaining < kReadBytes ? static_cast<DWORD>(remaining) : kReadBytes;
    DWORD got = 0;
    if (!ReadFile(file, readBuffer, wanted, &got, /* overlapped */ nullptr) || got == 0) {
      return false;
    }
    crc = crc32(crc, readBuffer, got);
    remaining -= got;
  }
  *checksum = storedChecksum(static_cast<uint32_t>(crc));
  return true;
}

}  // namespace

bool fileHoldsEntry(const wchar_t* path, uint64_t size, uint32_t stored) {
  HANDLE file =
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  /* security */ nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                  /* template */ nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  LARGE_INTEGER length;
  uint32_t checksum = 0;
  bool holds = GetFileSizeEx(file, &length) && static_cast<uint64_t>(length.QuadPart) == size &&
               checksumOfFile(file, size, &checksum) && checksum == stored;
  CloseHandle(file);
  return holds;
}

#include "payload/existing_file.h"

#include <zlib.h>  // crc32, as the packer computed the stored checksums

#include "rules/payload_format.h"

namespace {

unsigned char readBuffer[kReadBytes];

}  // namespace

bool openFileHoldsEntry(HANDLE file, uint64_t size, uint32_t stored, unsigned char* buffer) {
  // A read of a disk file returns fewer bytes than asked only at the end.
  uLong crc = crc32(0, nullptr, 0);
  for (uint64_t remaining = size;;) {
    DWORD wanted = remaining < kReadBytes ? static_cast<DWORD>(remaining) + 1 : kReadBytes;
    DWORD got = 0;
    if (!ReadFile(file, buffer, wanted, &got, /* overlapped */ nullptr) || got > remaining) {
      return false;
    }
    crc = crc32(crc, buffer, got);
    remaining -= got;
    if (got < wanted) {
      return remaining == 0 && storedChecksum(static_cast<uint32_t>(crc)) == stored;
    }
  }
}

FileState existingFileState(const wchar_t* path, uint64_t size, uint32_t stored,
                            unsigned char* buffer) {
  HANDLE file =
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  /* security */ nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                  /* template */ nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileState::kMissing
                                                                          : FileState::kDiffers;
  }
  bool holds = openFileHoldsEntry(file, size, stored, buffer);
  CloseHandle(file);
  return holds ? FileState::kInPlace : FileState::kDiffers;
}

bool fileHoldsEntry(const wchar_t* path, uint64_t size, uint32_t stored) {
  return existingFileState(path, size, stored, readBuffer) == FileState::kInPlace;
}

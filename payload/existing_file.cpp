#include "payload/existing_file.h"

#include <zlib.h>  // crc32, as the packer computed the stored checksums

#include <cwchar>

#include "rules/payload_format.h"

namespace {

unsigned char readBuffer[kReadBytes];

const RelativeOpen kReadExisting{GENERIC_READ, kAnySharing, FILE_OPEN,
                                 FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY};

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

FileState existingFileState(HANDLE folder, const wchar_t* name, size_t units, uint64_t size,
                            uint32_t stored, unsigned char* buffer) {
  HANDLE file = openRelative(folder, name, units, kReadExisting);
  if (file == nullptr) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileState::kMissing
                                                                          : FileState::kDiffers;
  }
  bool holds = openFileHoldsEntry(file, size, stored, buffer);
  CloseHandle(file);
  return holds ? FileState::kInPlace : FileState::kDiffers;
}

bool fileHoldsEntry(HANDLE folder, const wchar_t* name, uint64_t size, uint32_t stored) {
  return existingFileState(folder, name, wcslen(name), size, stored, readBuffer) ==
         FileState::kInPlace;
}

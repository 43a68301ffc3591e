// Whether a file already on disk holds an entry's data, so that it need not be written.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "payload/relative_files.h"
#include "rules/payload_format.h"

// Bytes of each buffer existing files are read through.
constexpr size_t kReadBytes = size_t{1} << 20;

// The buffers one thread reads and names files through.
struct ReadBuffers {
  wchar_t name[kNameBufferUnits];
  wchar_t path[kPathUnits];
  wchar_t finalPath[kFinalPathUnits];
  unsigned char bytes[kReadBytes];
};

// What a start knows of the file of an entry.
enum class FileState : unsigned char {
  kUnknown,  // not looked at
  kInPlace,  // it holds the entry
  kDiffers,  // it holds something else, or cannot be read
  kMissing,  // there is no file of that name
};

// The state of the file `name` (`units` long, a name relative to `folder`, backslashes between
// its components) below the folder open as `folder`, for an entry of `size` bytes whose stored
// checksum is `stored`, read through `buffer` (kReadBytes). Other processes may hold the file
// open for reading, writing or deleting meanwhile.
FileState existingFileState(HANDLE folder, const wchar_t* name, size_t units, uint64_t size,
                            uint32_t stored, unsigned char* buffer);

// True when the file open as `file` (for reading, at its start) is `size` bytes long and their
// CRC-32 (0 taken as 1) is `stored`, read through `buffer`. The file's end is found by reading,
// with no call that asks its size: each read asks for one byte more than is left, so a file of
// another length is read no further than `size` + 1 bytes. An empty file holds an empty entry.
bool openFileHoldsEntry(HANDLE file, uint64_t size, uint32_t stored, unsigned char* buffer);

// existingFileState is kInPlace, read through the process's own buffer, on the main thread.
bool fileHoldsEntry(HANDLE folder, const wchar_t* name, uint64_t size, uint32_t stored);

// Whether a file already on disk holds an entry's data, so that it need not be written.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes of the one buffer existing files are read through.
constexpr size_t kReadBytes = size_t{1} << 20;

// True when the file at `path` is `size` bytes long and their CRC-32 (0 taken as 1) is `stored`.
// The length is compared first, in 64 bits, so that a file of another length is never read; an
// empty file holds an empty entry. A file that cannot be opened, sized or read holds nothing.
// Other processes may hold the file open for reading, writing or deleting meanwhile.
bool fileHoldsEntry(const wchar_t* path, uint64_t size, uint32_t stored);

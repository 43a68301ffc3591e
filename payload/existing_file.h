// Whether a file already on disk holds an entry's data, so that it need not be written.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// Bytes of each buffer existing files are read through.
constexpr size_t kReadBytes = size_t{1} << 20;

// True when the file at `path` is `size` bytes long and their CRC-32 (0 taken as 1) is `stored`,
// read through `buffer` (kReadBytes). The file's end is found by reading, with no call that
// asks its size: each read asks for one byte more than is left, so a file of another length is
// read no further than `size` + 1 bytes. An empty file holds an empty entry. A file that cannot
// be opened or read holds nothing, and so does any file once `stop` (if given) is set. Other
// processes may hold the file open for reading, writing or deleting meanwhile.
bool fileHoldsEntry(const wchar_t* path, uint64_t size, uint32_t stored, unsigned char* buffer,
                    const std::atomic<bool>* stop);

// The same through the process's own buffer, on the main thread, never stopped.
bool fileHoldsEntry(const wchar_t* path, uint64_t size, uint32_t stored);

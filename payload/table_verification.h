// Whether the files an entry table lists are on disk as it describes them, read on every
// processor the process may run on.
#pragma once

#include <cstdint>

// True when `table` (`tableLength` bytes) is a sound entry table whose names the launcher may
// all create, and every file it lists below `targetDirectory` holds its entry: every byte of
// every file is read and checked against the entry's size and CRC-32. Then `programPath`
// (kPathUnits units) holds the first entry's destination path. A table can only stand for the
// region it was made from, which the packer checks: any doubt sends the start to the region.
//
// The files are split by bytes between threads, one per processor the process may run on (see
// verifierCount); the calling thread verifies one share and, alone, all of them on one
// processor or where a thread cannot be started. The first file found out of place stops the
// others. A destination path too long for a path buffer ends the process abnormally when every
// file before it is in place, as the region's unpacking would.
bool tableEntriesInPlace(const wchar_t* targetDirectory, const unsigned char* table,
                         uint64_t tableLength, wchar_t* programPath);

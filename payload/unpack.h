// Extraction of the payload's entries under the target directory, reusing files whose content
// is already right.
#pragma once

#include <cstddef>

#include "paths/path_buffer.h"

// Bytes of the one buffer all file data passes through.
constexpr size_t kChunkBytes = 32768;
// Most directories remembered as existing during one run.
constexpr size_t kKnownDirectoryCount = 1024;

// The destination path of the first entry: the program that the launcher starts.
extern wchar_t programPath[kPathUnits];

// Reads every entry through the payload reader up to the terminator and makes each file exist
// under targetDirectory with the entry's content: a file whose CRC-32 matches the stored
// checksum is left alone, every other one is written after its directories are created. Holds
// the target directory's lock meanwhile, so that launches started together unpack one after
// the other.
// Ends the process with "Error, failed to open '<path>' for writing." when a file cannot be
// created, with "Error, couldn't unpack file to target path." and the system error when a
// write fails, and with "Error, couldn't decode attached data." for a name that could lead
// outside the target directory or written data that does not match its stored checksum (all
// exit status 2).
void unpackPayload();

// Makes sure the directory that contains `path` exists, creating missing ones top first.
// Returns true when it exists at the end.
bool ensureParentDirectories(const wchar_t* path);

// Makes sure the one directory `directory` exists, without creating parents; remembers those
// it has seen, starting with the user's home directory. Returns true when it exists at the end.
bool createDirectoryCached(const wchar_t* directory);

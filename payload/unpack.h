// Extraction of the payload's entries under the target directory, reusing files whose content
// is already right.
#pragma once

#include <cstdint>

#include "payload/attached_payload.h"

// How a start unpacks.
struct UnpackOptions {
  // Missing files may be taken from the copies of the application beside the target directory
  // (sibling_folders.h).
  bool linkFromSiblings;
  // The copy is recorded (copy_record.h), with these flags.
  bool recordCopy;
  uint32_t recordFlags;
};

// Makes every entry of `payload` exist under `targetDirectory` with the entry's content, and
// returns the program path: the first entry's destination path (empty for a payload of no
// entries), valid until the process ends.
//
// Checks the region's header first. When the entry table says what the region holds, every
// file it lists is read first, on every processor (see checkTableFiles): when all are in place,
// nothing is decompressed or written. Missing files are then taken from the folders beside the
// target directory, where an earlier version left them, as second names of the same files (hard
// links), when `linkFromSiblings`; and the region is decoded only as far as the last file that
// is still out of place, writing those alone. Without a table, every entry is read up to the
// terminator and a file that already holds its entry is left alone. Every file written is
// written under a partial name in its held folder (held_folders.h) and renamed over its
// destination, while the decoder runs ahead on a thread of its own. Holds the target directory's
// lock meanwhile, so that launches started together unpack one after the other. A start that put
// files into the target directory records its copy there (copy_record.h). The folders written
// into stay held, the target directory among them, until keepTargetDirectoryInUse or
// releaseHeldFolders.
//
// Ends the process with "Error, failed to open '<path>' for writing." when a file cannot be
// created or a folder below the target directory is no plain folder, with "Error, couldn't
// unpack file to target path." and the system error when a write fails, and with "Error,
// couldn't decode attached data." for a name that could lead outside the target directory or
// written data that does not match its stored checksum (all exit status 2), besides the
// reader's failures.
const wchar_t* unpackPayload(const wchar_t* targetDirectory, const AttachedPayload& payload,
                             const UnpackOptions& options);

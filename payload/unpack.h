// Extraction of the payload's entries under the target directory, reusing files whose content
// is already right.
#pragma once

#include "payload/attached_payload.h"

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
// lock meanwhile, so that launches started together unpack one after the other. The folders
// written into stay held until releaseHeldFolders.
//
// Ends the process with "Error, failed to open '<path>' for writing." when a file cannot be
// created or a folder below the target directory is no plain folder, with "Error, couldn't
// unpack file to target path." and the system error when a write fails, and with "Error,
// couldn't decode attached data." for a name that could lead outside the target directory or
// written data that does not match its stored checksum (all exit status 2), besides the
// reader's failures.
const wchar_t* unpackPayload(const wchar_t* targetDirectory, const AttachedPayload& payload,
                             bool linkFromSiblings);

// Removes, once the program has ended, what the start unpacked into `targetDirectory`: every
// file the entry table lists (a link found at a file's name is removed as a link, through a file
// of the launcher's own renamed over it), then the folders the start made, the target directory
// included, when they are empty. A file in use stays, and so does its folder, silently. Works
// through the held folders, which must not have been released.
void removeUnpackedFiles(const wchar_t* targetDirectory);

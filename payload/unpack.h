// Extraction of the payload's entries under the target directory, reusing files whose content
// is already right.
#pragma once

#include "payload/attached_payload.h"

// Makes every entry of `payload` exist under `targetDirectory` with the entry's content, and
// returns the program path: the first entry's destination path (empty for a payload of no
// entries), valid until the process ends.
//
// Checks the region's header first. When the entry table says what the region holds and every
// file is on disk as the table describes it (read on every processor, see
// tableEntriesInPlace), nothing is decompressed or written. Otherwise
// reads every entry up to the terminator: a file that already holds the entry is left alone,
// every other one is written under a partial name after its folders are made and renamed over
// its destination, while the decoder runs ahead on a thread of its own. Holds the target
// directory's lock meanwhile, so that launches started together unpack one after the other.
//
// Ends the process with "Error, failed to open '<path>' for writing." when a file cannot be
// created, with "Error, couldn't unpack file to target path." and the system error when a
// write fails, and with "Error, couldn't decode attached data." for a name that could lead
// outside the target directory or written data that does not match its stored checksum (all
// exit status 2), besides the reader's failures.
const wchar_t* unpackPayload(const wchar_t* targetDirectory, const AttachedPayload& payload);

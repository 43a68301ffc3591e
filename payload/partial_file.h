// Files are written under a temporary name beside their destination and renamed over it when
// complete: no half-written file ever carries the final name, and a link found at the
// destination is replaced, never written through.
#pragma once

#include <windows.h>

// Opens the partial file of `destination` (its path followed by kPartialFileSuffix) for
// writing, after removing whatever an interrupted start or anyone else left under that name,
// unless the folder is known to hold nothing (`inNewFolder`). Ends the process with "Error,
// failed to open '<destination>' for writing." when it cannot.
HANDLE createPartialFile(const wchar_t* destination, bool inNewFolder);

// Closes `file`, the partial file of `destination`, and renames it over the destination. When
// the rename fails (another process holds the destination open without delete sharing, a
// folder or a read-only file is in the way) removes the partial file and ends the process with
// the open-for-writing message.
void completePartialFile(HANDLE file, const wchar_t* destination);

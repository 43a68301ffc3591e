// Files are written under a partial name of this start's own beside their destination and
// renamed over it when complete: no half-written file ever carries the final name, and a link
// found at the destination is replaced, never written through.
//
// Nothing here is ever written, renamed or deleted by a name that someone else may have
// planted: the partial file is created new under a name no file had, and everything after that
// goes through the handle that created it. A start that is terminated leaves its partial file;
// the next start that writes the same file removes it, when it is a file of the folder and no
// link.
#pragma once

#include <windows.h>

// Creates a new partial file for `destination` (its path, a tag of this start's own and
// kPartialFileSuffix), open for writing. A name that exists already (a file another start
// left, or anything planted) is passed over for the next tag. Unless the folder is known to
// have been empty (`inNewFolder`), then removes the other partial files of `destination` that
// are files of that folder and no links. Ends the process with "Error, failed to open
// '<destination>' for writing." when it cannot create the file.
HANDLE createPartialFile(const wchar_t* destination, bool inNewFolder);

// Renames `file`, the partial file of `destination` created by createPartialFile, over the
// destination through its handle when the handle still goes by the partial name, checks that the
// destination is now the very file that was written, and closes it. When the rename fails (another
// process holds the destination open without delete sharing, a folder or a read-only file is in the
// way) the partial file is removed; when the destination turns out to be another file (the partial
// name was swapped meanwhile), that is left for the next start to replace. Either way the process
// ends with the open-for-writing message.
void completePartialFile(HANDLE file, const wchar_t* destination);

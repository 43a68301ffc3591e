// Files are written under a partial name of this start's own beside their destination and
// renamed over it when complete: no half-written file ever carries the final name, and a link
// found at the destination is replaced, never written through.
//
// Nothing here is ever written, renamed or deleted by a name that someone else may have
// planted: the partial file is created new, under a name no file had, in a held folder, and
// everything after that goes through the handle that created it. A start that is terminated
// leaves its partial file; the next start that writes the same file removes it, when it is a
// file of the folder and no link.
//
// A file in use by a running program (its executable, a DLL it loaded) cannot be replaced, but
// it can be moved aside: it then takes a partial name of this start's own, the running program
// keeps its file, and later starts remove it like any other partial file once nothing uses it
// (see leftovers.h).
#pragma once

#include <windows.h>

#include "payload/held_folders.h"

// Creates a new partial file for the file named `leaf` in `folder`, open for writing: `leaf`, a
// tag of this start's own and kPartialFileSuffix. A name that exists already (a file another
// start left, or anything planted) is passed over for the next tag. Unless the folder was made
// by this start, then removes the other partial files of `leaf` that are files of the folder and
// no links. Ends the process with "Error, failed to open '<destination>' for writing." when it
// cannot create the file.
HANDLE createPartialFile(const HeldFolder& folder, const wchar_t* leaf, const wchar_t* destination);

// The name createPartialFile gave the file it created last; valid until its next call.
const wchar_t* lastPartialName();

// Renames `file`, the partial file `partial` of `leaf` created by createPartialFile, over
// `leaf` when the handle still goes by the partial name in that folder, checks that the name now
// leads to the very file that was written, and closes it. A plain file at the name that is in use
// by a running program is moved aside first. When the rename fails all the same (another process
// holds the file open without delete sharing beyond a few seconds, a folder or a read-only file
// is in the way) the partial file is removed; when the name turns out to lead to another file (the
// partial name was swapped meanwhile), that is left for the next start to replace. Either way it
// returns false, and the start must end with the open-for-writing message for the file. May run
// on another thread than createPartialFile, one file at a time.
bool completePartialFile(HANDLE file, const HeldFolder& folder, const wchar_t* leaf,
                         const wchar_t* partial, const wchar_t* destination);

// Builds in `name` (kPathUnits units) the next partial name of this start's own for `leaf`;
// false when it does not fit beside `destination`, the path it is for.
bool nextPartialName(const wchar_t* leaf, const wchar_t* destination, wchar_t* name);

// Files taken over from a copy of the application beside the target directory (an earlier
// version's folder) as second names of the same files (hard links), instead of being written.
#pragma once

#include <windows.h>

#include <cstddef>

#include "payload/existing_file.h"
#include "payload/held_folders.h"
#include "rules/entry_table_reader.h"

// What one thread's links have seen: the held folder it last found in place. Each folder is
// looked at before the first link into it, not before every one, since every link is checked
// after it is made all the same; a run of links into one folder then costs three system calls
// less each.
struct LinkRun {
  const HeldFolder* folderInPlace = nullptr;
};

// Looks at the file `name` (`units` long) below the folder open as `sibling`, whose final path is
// `siblingFinalPath`: when it is a plain file reached through no link from there and holds
// `entry` (read through the handle that links it, with writers kept out), it gets a second name
// in the entry's held folder, checked to be in place before the run's first link into it and to
// hold the link just after (held_folders.h), and the entry is in place. Anything else leaves it
// missing. Reads and names through `buffers`; may run on any thread, with a `run` of its own,
// while the main thread holds no new folder.
FileState linkFromSibling(HANDLE sibling, const wchar_t* siblingFinalPath, const wchar_t* name,
                          size_t units, const TableEntry& entry, ReadBuffers& buffers,
                          LinkRun& run);

// Files taken over from a copy of the application beside the target directory (an earlier
// version's folder) as second names of the same files (hard links), instead of being written.
#pragma once

#include <windows.h>

#include <cstddef>

#include "payload/existing_file.h"
#include "rules/entry_table_reader.h"

// Looks at the file `name` (`units` long) below the folder open as `sibling`, whose final path is
// `siblingFinalPath`: when it is a plain file reached through no link from there and holds
// `entry` (read through the handle that links it, with writers kept out), it gets a second name
// in the entry's held folder, checked to be in place just before and to hold the link just after
// (held_folders.h), and the entry is in place. Anything else leaves it missing. Reads and names
// through `buffers`; may run on any thread while the main thread holds no new folder.
FileState linkFromSibling(HANDLE sibling, const wchar_t* siblingFinalPath, const wchar_t* name,
                          size_t units, const TableEntry& entry, ReadBuffers& buffers);

// The target directory and the folders above it: made when missing, remembered once seen. The
// folders below the target directory are held folders (held_folders.h).
#pragma once

#include <cstddef>

// Most directories remembered as existing during one run.
constexpr size_t kKnownDirectoryCount = 1024;

// Makes sure `directory` exists: the walk goes up only as long as creation fails (the user's home
// directory and a drive root are known without asking), then down again, each missing folder
// made once, top first. Returns true when the directory exists at the end.
bool makeDirectoryWithParents(const wchar_t* directory);

// True when this run made `directory`: nothing in it was there before.
bool wasMadeThisRun(const wchar_t* directory);

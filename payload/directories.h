// The target directory and the folders above it: made when missing, remembered once seen. The
// folders below the target directory are held folders (held_folders.h).
#pragma once

#include <cstddef>

// Most directories remembered as existing during one run.
constexpr size_t kKnownDirectoryCount = 1024;

// Makes sure the one directory `directory` exists, without creating any parent; true when it does
// at the end. The user's home directory, a drive's or share's root and every directory made or
// found before during this run are known without asking.
bool createDirectoryCached(const wchar_t* directory);

// Makes sure the directory that holds `path` exists: the walk goes up only as long as creation
// fails, then down again, each missing folder made once, top first. True when it exists at the
// end.
bool ensureParentDirectories(const wchar_t* path);

// True when this run made `directory`: nothing in it was there before.
bool wasMadeThisRun(const wchar_t* directory);

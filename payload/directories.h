// The folders above the files the launcher writes: made when missing, remembered once seen, and
// below the target directory never entered when they are links.
#pragma once

#include <cstddef>

// Most directories remembered as existing during one run.
constexpr size_t kKnownDirectoryCount = 1024;

// Names the target directory, or null for none. A folder below it that exists as a link (a
// reparse point, which may lead anywhere) or as no folder at all counts from now on as one that
// cannot be made, so that no file is ever written through it.
void guardFoldersBelow(const wchar_t* targetDirectory);

// Makes sure the directory that contains `path` exists. Up to the target directory the walk
// goes up only as long as creation fails, then down again, top first; below it every folder is
// made or checked from the top down. A loop, to any depth a path buffer holds. Returns true
// when the directory exists at the end, and every folder on the way below the target directory
// is a real one.
bool ensureParentDirectories(const wchar_t* path);

// True when this run made the folder that contains `path`: nothing in it was there before.
bool isInFolderMadeThisRun(const wchar_t* path);

// Makes sure the one directory `directory` exists, without creating parents; remembers those
// it has seen, starting with the user's home directory. Returns true when it exists at the end.
bool createDirectoryCached(const wchar_t* directory);

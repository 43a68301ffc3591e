// The folders a start works in, each held open from the moment the start first needs it until
// it is done with them: the target directory and the folders below it that a start writes into,
// or, while a copy is removed, that copy's folder and the folders below it. Files are created,
// renamed, linked and removed relative to these handles, never by a full path.
//
// What that guarantees: on Windows a folder open without delete sharing cannot be renamed or
// deleted, so no name on the way to a file can be swapped for a link while the start works.
// Under Wine the same holds among Windows programs, but a Unix process may still rename the
// folder: a name looked up relative to a handle is then still looked up in the folder the
// handle holds (Wine changes into it), while a rename or a link goes by the paths the folder and
// the file were opened under. So a file is created and written only inside the held folder, and
// a rename after a swap fails or is found out by the check that follows it; checkHeldFoldersInPlace
// tells a swap that came later.
//
// The target directory stays held while the program runs (see keepTargetDirectoryInUse): that
// handle marks the copy as in use, since a removal takes the folder with no sharing at all
// first, and the system closes it with the process, however the launcher ends.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

struct HeldFolder {
  HANDLE handle;
  const wchar_t* finalPath;  // the system's path for it when it was opened, through every link
  bool made;                 // this start made it: nothing in it was there before
};

// Makes `targetDirectory` exist (its missing parents too, see makeDirectoryWithParents) and holds
// it, on the first call; later calls return the same folder. The target directory itself may be
// reached through links. Ends the process with the open-for-writing message for `destination`
// when it cannot be made or opened.
const HeldFolder& holdTargetDirectory(const wchar_t* targetDirectory, const wchar_t* destination);

// Holds `targetDirectory` when it exists, without making it: false when it does not or cannot
// be opened.
bool findTargetDirectory(const wchar_t* targetDirectory);

// The held folder that holds the entry `name` (a name below the target directory, which is held
// already), made where missing and held from now on. Every folder on the way must be a plain
// folder of the one above it, reached through no link; else, or when one cannot be made, the
// process ends with the open-for-writing message for `destination`. Main thread only.
const HeldFolder& holdEntryFolder(const wchar_t* name, const wchar_t* destination);

// The same without making anything: null when a folder on the way is missing or no plain folder.
// While a copy is removed (holdCopyForRemoval), the folders below it are found this way.
const HeldFolder* findEntryFolder(const wchar_t* name);

// The held folder that holds `name` when it is held already, else null. Safe on any thread while
// the main thread holds no new folder.
const HeldFolder* heldEntryFolder(const wchar_t* name);

// Whether the file open as `file` is a plain file (no link, no folder) named `name` in `folder`,
// reached through no link: under Wine a link is opened as the file it leads to, so only its path
// tells.
bool isPlainFileOf(HANDLE file, const HeldFolder& folder, const wchar_t* name);

// What a removal of a file came to.
enum class FileRemoval {
  kGone,      // it is gone, or there was none
  kStays,     // it is in use, or could not be removed
  kNotPlain,  // a link, a folder or something else is at the name: left alone
};

// Removes `name` of `folder` through a handle of its own, when it is a plain file of that folder
// (no link, no folder) that nothing uses.
FileRemoval removePlainFile(const HeldFolder& folder, const wchar_t* name);

// The last component of the entry `name`: its file's name in the folder that holds it.
const wchar_t* entryLeaf(const wchar_t* name);

// The held target directory (or the copy being removed), or null before one is held; safe on
// any thread.
const HeldFolder* heldTargetDirectory();

// The folders held so far, the target directory first: `index` below heldFolderCount.
size_t heldFolderCount();
const HeldFolder& heldFolderAt(size_t index);

// Ends the process with the open-for-writing message, naming the folder, when a folder held at
// or below the target directory is no longer the one its name leads to: its name or one above
// it was swapped (see above).
void checkHeldFoldersInPlace();

// Whether the held `folder` is the one its name leads to now. Safe on any thread while the main
// thread holds no new folder.
bool isHeldFolderInPlace(const HeldFolder& folder);

// Closes every held folder but the target directory, whose handle stays open as the mark that
// a start uses the copy until releaseInUseMark; the folders are forgotten, so that a copy beside
// the target can be removed meanwhile.
void keepTargetDirectoryInUse();
void releaseInUseMark();

// The target directory's index on its volume, as it was when it was first held; 0 when it was
// never held.
uint64_t heldTargetIndex();

// Closes every held folder.
void releaseHeldFolders();

// Starts the removal of a copy: releases what is held and holds `root`, the copy's folder, open
// with delete access and no sharing at all by the caller (the handle now belongs to the held
// folders), whose final path is `finalPath`. The folders below it are then found with
// findEntryFolder, each open with delete access.
void holdCopyForRemoval(HANDLE root, const wchar_t* finalPath);

// Removes every folder held for the removal of a copy that is empty, the copy's own folder
// last, deepest first, through the handles that hold them; then releases them all. Folders that
// are not empty stay, silently. True when the copy's own folder went.
bool removeHeldFolders();

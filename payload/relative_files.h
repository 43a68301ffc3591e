// Files and folders opened, created, renamed and linked by a name relative to a folder the
// process holds open, never by a full path: whatever happens meanwhile to the names above that
// folder, the name is looked up inside the very folder the handle holds.
//
// Every function that fails leaves the system's error code for GetLastError, as the kernel32
// calls do. All may be called on any thread but isNamedBelow and nextListedName, which use
// buffers of the process's own.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "rules/path_limits.h"

// A handle's path as the system names it: a device or drive prefix ("\\??\C:", "\Device\..."),
// then a path that fits a path buffer.
constexpr size_t kFinalPathUnits = kPathUnits + 64;

// What a folder is held open with: its names can be listed and looked up, and it stays where it
// is, since no one can rename or delete it while it is open without delete sharing.
constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
constexpr ULONG kFolderSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
// What a handle that only looks lets others do: everything.
constexpr ULONG kAnySharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// How a name below a folder is opened.
struct RelativeOpen {
  ACCESS_MASK access;
  ULONG sharing;
  ULONG disposition;  // FILE_OPEN, FILE_CREATE or FILE_OPEN_IF
  ULONG options;      // FILE_DIRECTORY_FILE or FILE_NON_DIRECTORY_FILE, and more
};

// Opens `name` (`units` long, no terminator needed) below the folder open as `folder`, for
// synchronous I/O and without following a link at the name itself (on Windows: under Wine a
// link is followed, which only the opened file's final path shows). Sets `*created` (when given)
// to whether it made the file or folder. Null on failure.
HANDLE openRelative(HANDLE folder, const wchar_t* name, size_t units, const RelativeOpen& how,
                    bool* created = nullptr);

// Gives the file open as `file` the name `name` (`units` long) in the folder open as `folder`,
// replacing what has that name when `replace`.
bool renameRelative(HANDLE file, HANDLE folder, const wchar_t* name, size_t units, bool replace);

// Adds the name `name` (`units` long) in the folder open as `folder` to the file open as
// `file`, which must lie on the same volume; never replaces anything.
bool linkRelative(HANDLE file, HANDLE folder, const wchar_t* name, size_t units);

// Has the system remove the file or empty folder open as `handle` when its last handle closes.
bool markForDeletion(HANDLE handle);

// The file's index on its volume.
bool readFileIndex(HANDLE handle, uint64_t* index);

// The path the system gives for `handle` (kFinalPathUnits units), in its own form: on Windows
// the name the file was opened by, after every reparse point on the way was followed; under
// Wine the file's real path, through every link. False when it does not fit.
bool readFinalPath(HANDLE handle, wchar_t* path);

// Whether the handle's file is a plain file, or with `folder` a plain folder: not a link or
// another reparse point as far as the system tells from the handle.
bool isPlainEntry(HANDLE handle, bool folder);

// Whether `finalPath` is the folder's final path `folderPath`, a backslash and `name` (`units`
// long, backslashes between its components), in any case: the path of a file named so in that
// folder and reached through no link, since a final path goes through every link.
bool isFinalPathBelow(const wchar_t* finalPath, const wchar_t* folderPath, const wchar_t* name,
                      size_t units);

// The same for the final path of the file open as `handle`.
bool isNamedBelow(HANDLE handle, const wchar_t* folderPath, const wchar_t* name, size_t units);

// One name listed by a folder listing, valid until the next one.
struct ListedName {
  const wchar_t* name;
  size_t units;
  DWORD attributes;
  int64_t lastWriteTime;
};

// Lists the names in the folder open as `folder` that match `mask` (NUL-terminated, with * and
// ? as wildcards; null for every name), one at a time: each call gives the next, false at the
// end. Pass `restart` on the first call of a listing. One listing at a time per process.
bool nextListedName(HANDLE folder, const wchar_t* mask, bool restart, ListedName* listed);

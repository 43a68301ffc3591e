// The folders beside the target directory that hold copies of this application: its earlier
// versions (a versioned target spec) or other copies (a per-start one), as the records in them
// tell (copy_record.h). Folders of other applications, or of anything else, are never read.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// The most folders files are linked from: the latest versions are the likeliest to share files
// with this one, and each folder looked at costs a look for every missing file.
constexpr size_t kMostSiblingFolders = 3;

// Finds, in the folder above `targetDirectory`, the plain folders (no links) that hold a record
// of this application, the record written last first: the target directory's own among them
// when `withTarget`. Looks into the `mostFolders` folders written last at most, as the listing
// of the folder above tells their times, so that a start beside thousands of other folders
// reads none of them. Returns how many it found; none when the folder above cannot be listed.
size_t findSiblingCopies(const wchar_t* targetDirectory, size_t mostFolders, bool withTarget);

// The found copy `index`: its folder, held open until releaseSiblingCopies, its path, the
// system's path for it through every link, its record's flags, and whether it is the target
// directory.
HANDLE siblingCopyFolder(size_t index);
const wchar_t* siblingCopyPath(size_t index);
const wchar_t* siblingCopyFinalPath(size_t index);
uint32_t siblingCopyFlags(size_t index);
bool isTargetCopy(size_t index);

// Closes the found copies' folders; their paths, flags and places stay until the next
// findSiblingCopies.
void releaseSiblingCopies();

// The folders beside the target directory that may hold the files of an earlier version (a
// versioned target spec) or an earlier copy (a per-start one): the few written most recently.
#pragma once

#include <cstddef>

// The most folders looked at: the latest versions are the likeliest to share files with this
// one, and each folder looked at costs a look for every missing file.
constexpr size_t kMostSiblingFolders = 3;

// Finds the plain folders (no links) in the folder above `targetDirectory`, other than the
// target directory itself, and keeps the kMostSiblingFolders written most recently, the latest
// first. Returns how many it kept; none when the folder above cannot be listed.
size_t findSiblingFolders(const wchar_t* targetDirectory);

// The path of the kept folder `index`, and the system's path for it through every link.
const wchar_t* siblingFolderPath(size_t index);
const wchar_t* siblingFolderFinalPath(size_t index);

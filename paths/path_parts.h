// The parts of a Windows path: its root, the folder above it, its last component. No system
// calls: what the launcher decides about a path's parts is decided here, once.
//
// A path's root is a drive ("C:"), a share ("\\server\share") or either in the extended form
// ("\\?\C:", "\\?\UNC\server\share"), without the backslash after it; a relative path, such as an
// entry's name, has none. Components are separated by single backslashes; a path given here has
// no backslash at its end but the one of a root ("C:\").
#pragma once

#include <cstddef>

// The units of the root of `path` (`units` long), 0 when it has none.
size_t rootUnits(const wchar_t* path, size_t units);

// Where the last component of `path` starts: after its last backslash, 0 when it has none.
size_t lastComponentStart(const wchar_t* path, size_t units);

// The units of `path` that name the folder above it: up to the backslash before its last
// component, that backslash kept when it ends a root ("C:\" above "C:\a"); 0 when there is no
// folder above it: a single relative component ("a") or a root itself ("C:\", "\\server\share").
size_t folderAboveUnits(const wchar_t* path, size_t units);

// The target directory and the paths the launcher asks the system for.
#pragma once

#include <cstddef>

#include "paths/path_buffer.h"

// Units of the own-path cache, terminator included: one more than a path buffer, so that the
// launcher takes its own path up to kPathUnits characters.
constexpr size_t kOwnPathUnits = kPathUnits + 1;

// Rewrites the path buffer `directory` as a full path: relative to the current drive and
// directory, with "." and ".." resolved and forward slashes turned into backslashes. Ends the
// process abnormally when the system makes no full path of it (an empty one, for instance) or
// the full path needs kPathUnits units or more.
void normalizeTargetDirectory(wchar_t* directory);

// The launcher's own executable path in its long form, asked of the system once per process:
// the one place that asks. Ends the process abnormally when the path is longer than
// kOwnPathUnits - 1 characters, which the system would give cut. Empty when the system gives
// none (then asked again on the next call).
const wchar_t* getOwnExecutablePath();

// Appends the current path of the known folder `folderId` (a CSIDL) to the string that ends at
// or after `position`, within `room` units from `position`. Returns false, writing nothing,
// when the system reports no path; ends the process abnormally when the path does not fit.
bool appendKnownFolder(wchar_t* position, int folderId, size_t room);

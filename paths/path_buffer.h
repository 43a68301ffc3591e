// Path buffers and bounded copies. A path buffer holds one NUL-terminated Windows path; a copy
// into a fixed buffer either fits whole, terminator included, or ends the process abnormally:
// text is never cut to fit.
#pragma once

#include <cstddef>

#include "rules/path_limits.h"

// Copies `source` over `destination`, which has `room` units.
void copyBounded(wchar_t* destination, size_t room, const wchar_t* source);

// Appends `source` to the string in `destination`, which has `room` units in all.
void appendBounded(wchar_t* destination, size_t room, const wchar_t* source);

// Writes `directory`, a backslash and `name` into `path`, which has `room` units; false, leaving
// `path` unusable, when they do not fit with the terminator. The one way a file's path below a
// folder is made.
bool joinPath(wchar_t* path, size_t room, const wchar_t* directory, const wchar_t* name);

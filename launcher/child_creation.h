// How the child is created, one file per kind of launcher, chosen by the build.
#pragma once

#include <windows.h>

// The creation flags of the child: a console launcher shares its console with the child
// (child_creation_console.cpp); a windowed launcher has none and hands the child none, so
// that a console program started by it opens no console window (child_creation_windowed.cpp).
DWORD childCreationFlags();

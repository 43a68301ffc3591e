// The work a start does on the files its entry table lists (entry_table.h), on every processor
// the process may run on: finding out what state each file is in, and taking missing files over
// from a copy beside the target directory (sibling_links.h).
#pragma once

#include <windows.h>

// Reads every byte of every checkable entry's file below the held target directory and records
// its state, or records them all missing when no target directory is held (nothing there can
// hold an entry). The files are split by bytes between threads, one per processor the process
// may run on (see verifierCount); the calling thread checks one share and, alone, all of them on
// one processor or where a thread cannot be started.
void checkTableFiles();

// For every checkable entry whose file is missing, tries to take it from the copy beside the
// target directory open as `sibling`, whose final path is `siblingFinalPath` (linkFromSibling),
// split between threads the same way. The folder of every missing file must be held already
// (held_folders.h).
void linkTableFilesFrom(HANDLE sibling, const wchar_t* siblingFinalPath);

// Files moved aside because a running program used them (partial_file.h) stay until nothing
// uses them. A start that moves one aside marks the target directory; a later start that finds
// the mark removes every partial file of the folders its entry table names that nothing uses
// any more, through handles of its own and only when it is a plain file of that folder, and the
// mark once none is left. Starts that find no mark spend one look at the mark on it.
#pragma once

#include <cstddef>

#include "payload/held_folders.h"

// Ends in the partial files' suffix, which no entry's name may: it is the launcher's own.
constexpr wchar_t kLeftoversMark[] = L"leftovers.tarnic-partial";
constexpr size_t kLeftoversMarkUnits = sizeof kLeftoversMark / sizeof(wchar_t) - 1;

// Marks the held target directory as holding files moved aside. A mark that cannot be made
// (a link or anything else in its place) only leaves those files until their entries are
// written again.
void noteLeftover();

// When the held target directory is marked, removes the partial files of the folders of every
// checkable entry of the table (table_verification.h) that can go, and the mark when none is
// left.
void removeLeftovers();

// Removes the partial files of `folder` that can go (removePlainFile), but for the marks
// (this one's and the copy record) when `keepMarks`; false when one stays.
bool removePartialFilesOf(const HeldFolder& folder, bool keepMarks);

// Removal of copies, for launchers that ask for it: this start's own copy when the launcher ends
// (remove_after_exit), and the copies of the application beside the target directory that are
// no longer wanted (versions beyond keep_versions, copies for one start that were left behind).
//
// A copy goes only when no start uses it: its folder's lock is taken without waiting (a start
// that unpacks holds it), and then the folder itself is opened with no sharing at all, which
// fails while any start holds it (see keepTargetDirectoryInUse). Then every file the copy's
// entry table names goes, through a handle of this start's own and only when it is a plain file
// of its held folder: a link is removed as a link, what it leads to stays. Then the partial files
// there that nothing uses, the folders that are empty then, deepest first, the record and the
// copy's folder. A file in use stays, and so does the record, which marks what is left for a
// later start; a file the table does not name (the user's) stays, and so does its folder.
#pragma once

// Has the launcher remove its copy in `targetDirectory` when it ends: after its program, or
// when a failure ends it after it began to unpack. Other starts that use the copy keep it; the
// last to end removes it.
void removeCopyWhenTheLauncherEnds(const wchar_t* targetDirectory);

// Waits, for a bounded time, until the removal that removeCopyWhenTheLauncherEnds asked for is
// done: a console handler's, so that the system's default handling, which ends the process,
// does not cut the removal short. Returns at once when no removal was asked for.
void awaitCopyRemoval();

// Removes the copies of this application beside `targetDirectory` that no start uses and that
// are not wanted: every copy for one start when `copiesForOneStart`, and with `keepVersions`
// above 0 all versions but the keepVersions - 1 recorded last besides the target directory's.
// False when one of them stays, whole or in part: a start uses it, or a file it names is in use.
// A file that versions share is one file under each version's name, and while the program runs
// from one version none of its names can go: call again once the program has ended.
bool removeUnwantedCopies(const wchar_t* targetDirectory, unsigned keepVersions,
                          bool copiesForOneStart);

// The files an entry table lists below the target directory: what state each is in, found out
// on every processor the process may run on, and files taken over from a folder beside it.
#pragma once

#include <cstdint>

#include "payload/existing_file.h"
#include "rules/entry_table_reader.h"

// The entry that ends the entries a start can check, if any.
enum class TableStop {
  kNone,
  kUncreatableName,  // a name no file may have: only the region's unpacking may refuse it
  kPathTooLong,      // a destination path that does not fit a path buffer: a bound exceeded
};

// Opens `table` (`tableLength` bytes) for a start into `targetDirectory`: true when it is a sound
// entry table, which can only stand for the region it was made from (the packer checks it).
// Then `programPath` (kPathUnits units) holds the first entry's destination path when that entry
// can be checked, and every checkable entry's state is kUnknown.
bool openTableFiles(const wchar_t* targetDirectory, const unsigned char* table,
                    uint64_t tableLength, wchar_t* programPath);

// Copies the table entry's name into `name` (kNameBufferUnits units) and returns its length.
size_t copyTableName(const TableEntry& entry, wchar_t* name);

// The first entry of the table, and the number of entries a start can check from it on: those
// before the one tableStop names.
TableCursor firstTableEntry();
uint64_t checkableEntries();
TableStop tableStop();

// The state of the checkable entry `index`.
FileState tableFileState(uint64_t index);

// Reads every byte of every checkable entry's file below `targetDirectory` and records its
// state, or records them all missing when the target directory is (nothing there can hold an
// entry). The files are split
// by bytes between threads, one per processor the process may run on (see verifierCount); the
// calling thread checks one share and, alone, all of them on one processor or where a thread
// cannot be started.
void checkTableFiles(const wchar_t* targetDirectory, bool targetMissing);

// The number of checkable entries in `state`.
uint64_t tableFilesIn(FileState state);

// The bytes of the checkable entries whose files are not in place.
uint64_t tableBytesToWrite();

// For every checkable entry whose file is missing, looks at the file of the same name below
// `sibling`, a folder beside the target directory whose final path is `siblingFinalPath`: when
// it is a plain file reached through no link from there and holds the entry (read through the
// handle that links it, with writers kept out), it gets a second name in the target directory
// (a hard link) and the entry is in place. The target directory and the folder of every missing
// file must be held already (held_folders.h). Anything else leaves the entry missing.
void linkTableFilesFrom(const wchar_t* sibling, const wchar_t* siblingFinalPath);

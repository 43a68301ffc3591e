// The entry table a start unpacks by (layout in rules/payload_format.h): its checkable entries,
// their names and the state each one's file was found in. One table per process.
#pragma once

#include <cstddef>
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

// The state of the checkable entry `index`, and its change. Each entry's state is changed by one
// thread at a time.
FileState tableFileState(uint64_t index);
void setTableFileState(uint64_t index, FileState state);

// The number of checkable entries in `state`, and the bytes of those whose files are not in
// place.
uint64_t tableFilesIn(FileState state);
uint64_t tableBytesToWrite();

// A walk over the checkable entries: `index` and `entry` are the one nextCheckableEntry gave last.
struct TableWalk {
  TableCursor cursor;
  uint64_t next;
  uint64_t index;
  TableEntry entry;
};
TableWalk beginTableWalk();
// Moves to the next checkable entry; false after the last.
bool nextCheckableEntry(TableWalk* walk);

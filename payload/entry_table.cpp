#include "payload/entry_table.h"

#include <cstdlib>

#include "diagnostics/fatal.h"
#include "paths/path_buffer.h"
#include "rules/entry_name.h"
#include "rules/payload_format.h"

namespace {

TableCursor firstEntry;
uint64_t usableEntries;
TableStop stop;
FileState* states;

wchar_t nameUnits[kNameBufferUnits];

// Counts the entries up to the first whose name no file may have or whose destination path
// below `targetDirectory` does not fit, and records which one stopped them.
void scanEntries(const wchar_t* targetDirectory) {
  usableEntries = 0;
  stop = TableStop::kNone;
  wchar_t path[kPathUnits];
  TableEntry entry;
  for (TableCursor cursor = firstEntry; nextTableEntry(&cursor, &entry); ++usableEntries) {
    size_t units = copyTableName(entry, nameUnits);
    if (!isCreatableEntryName(nameUnits, units)) {
      stop = TableStop::kUncreatableName;
      return;
    }
    if (!joinPath(path, kPathUnits, targetDirectory, nameUnits)) {
      stop = TableStop::kPathTooLong;
      return;
    }
  }
}

}  // namespace

size_t copyTableName(const TableEntry& entry, wchar_t* name) {
  for (size_t i = 0; i < entry.nameUnits; ++i) {
    name[i] = static_cast<wchar_t>(tableNameUnit(entry, i));
  }
  name[entry.nameUnits] = L'\0';
  return entry.nameUnits;
}

bool openTableFiles(const wchar_t* targetDirectory, const unsigned char* table,
                    uint64_t tableLength, wchar_t* programPath) {
  if (!openEntryTable(table, tableLength, &firstEntry)) {
    return false;
  }
  scanEntries(targetDirectory);
  states = static_cast<FileState*>(calloc(usableEntries == 0 ? 1 : usableEntries, 1));
  if (states == nullptr) {
    failOutOfMemory();
  }
  TableWalk walk = beginTableWalk();
  if (nextCheckableEntry(&walk)) {
    copyTableName(walk.entry, nameUnits);
    joinPath(programPath, kPathUnits, targetDirectory, nameUnits);
  }
  return true;
}

TableCursor firstTableEntry() {
  return firstEntry;
}

uint64_t checkableEntries() {
  return usableEntries;
}

TableStop tableStop() {
  return stop;
}

FileState tableFileState(uint64_t index) {
  return states[index];
}

void setTableFileState(uint64_t index, FileState state) {
  states[index] = state;
}

uint64_t tableFilesIn(FileState state) {
  uint64_t count = 0;
  for (uint64_t i = 0; i < usableEntries; ++i) {
    count += states[i] == state ? 1 : 0;
  }
  return count;
}

uint64_t tableBytesToWrite() {
  uint64_t bytes = 0;
  for (TableWalk walk = beginTableWalk(); nextCheckableEntry(&walk);) {
    bytes += states[walk.index] != FileState::kInPlace ? walk.entry.size : 0;
  }
  return bytes;
}

TableWalk beginTableWalk() {
  return TableWalk{firstEntry, 0, 0, TableEntry{}};
}

bool nextCheckableEntry(TableWalk* walk) {
  if (walk->next >= usableEntries || !nextTableEntry(&walk->cursor, &walk->entry)) {
    return false;
  }
  walk->index = walk->next++;
  return true;
}

#include "payload/table_verification.h"

#include <windows.h>

#include <atomic>
#include <cwchar>

#include "diagnostics/fatal.h"
#include "paths/path_buffer.h"
#include "payload/existing_file.h"
#include "payload/verification_shares.h"
#include "rules/entry_name.h"
#include "rules/entry_table_reader.h"
#include "rules/payload_format.h"

namespace {

// Reserved stack of each verifying thread: its buffers are the arrays below.
constexpr SIZE_T kVerifierStackBytes = SIZE_T{64} << 10;

// The table's first entry and what the first pass found: the entries that can be verified
// (those before the first name no file may have or path too long) and their bytes.
TableCursor firstEntry;
const wchar_t* directory;
size_t directoryUnits;
uint64_t usableEntries;
uint64_t usableBytes;
size_t verifiers;

wchar_t nameUnits[kNameBufferUnits];
wchar_t sharePaths[kMaxVerifiers][kPathUnits];
unsigned char shareBuffers[kMaxVerifiers][kReadBytes];
bool shareInPlace[kMaxVerifiers];
std::atomic<bool> fileOutOfPlace;

// The processors the process may run on, as its affinity mask shows them (`start /affinity`
// narrows it); one when the mask cannot be read.
uint64_t usableProcessors() {
  DWORD_PTR process = 0, system = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) {
    return 1;
  }
  uint64_t count = 0;
  for (; process != 0; process &= process - 1) {
    ++count;
  }
  return count;
}

bool isCreatableTableName(const TableEntry& entry) {
  for (size_t i = 0; i < entry.nameUnits; ++i) {
    nameUnits[i] = static_cast<wchar_t>(tableNameUnit(entry, i));
  }
  return isCreatableEntryName(nameUnits, entry.nameUnits);
}

// Whether the target directory, a backslash, the name and the terminator fit a path buffer.
bool pathFits(const TableEntry& entry) {
  return directoryUnits + 1 + entry.nameUnits < kPathUnits;
}

// Writes the destination path of an entry whose path fits into `path`.
void buildEntryPath(const TableEntry& entry, wchar_t* path) {
  wmemcpy(path, directory, directoryUnits);
  path[directoryUnits] = L'\\';
  wchar_t* name = path + directoryUnits + 1;
  for (size_t i = 0; i < entry.nameUnits; ++i) {
    name[i] = static_cast<wchar_t>(tableNameUnit(entry, i));
  }
  name[entry.nameUnits] = L'\0';
}

// Counts the entries up to the first whose name no file may have or whose path does not fit,
// and their bytes; returns the cursor at that entry, or at the table's end.
TableCursor scanEntries() {
  usableEntries = 0;
  usableBytes = 0;
  for (TableCursor cursor = firstEntry, next = firstEntry;; cursor = next) {
    TableEntry entry;
    if (!nextTableEntry(&next, &entry) || !isCreatableTableName(entry) || !pathFits(entry)) {
      return cursor;
    }
    ++usableEntries;
    usableBytes += entry.size;
  }
}

// Reads every file of the share; false at the first out of place, or once another share found
// one.
bool verifyShare(size_t share) {
  TableCursor cursor = firstEntry;
  TableEntry entry;
  uint64_t offset = 0;
  for (uint64_t i = 0; i < usableEntries && nextTableEntry(&cursor, &entry); ++i) {
    if (shareOfFile(offset, entry.size, usableBytes, verifiers) == share) {
      if (fileOutOfPlace.load(std::memory_order_relaxed)) {
        return false;
      }
      buildEntryPath(entry, sharePaths[share]);
      if (!fileHoldsEntry(sharePaths[share], entry.size, entry.storedChecksum, shareBuffers[share],
                          &fileOutOfPlace)) {
        fileOutOfPlace.store(true, std::memory_order_relaxed);
        return false;
      }
    }
    offset += entry.size;
  }
  return true;
}

// Takes the share's slot in shareInPlace, which tells the share too.
DWORD WINAPI verifyShareThread(void* slot) {
  bool* inPlace = static_cast<bool*>(slot);
  *inPlace = verifyShare(static_cast<size_t>(inPlace - shareInPlace));
  return 0;
}

// Verifies share 0 on this thread and every other on a thread of its own, or on this one after
// share 0 when its thread cannot be started.
bool usableFilesInPlace() {
  verifiers = verifierCount(usableProcessors(), usableEntries);
  fileOutOfPlace.store(false, std::memory_order_relaxed);
  HANDLE threads[kMaxVerifiers] = {};
  for (size_t share = 1; share < verifiers; ++share) {
    threads[share] = CreateThread(/* security */ nullptr, kVerifierStackBytes, verifyShareThread,
                                  &shareInPlace[share], STACK_SIZE_PARAM_IS_A_RESERVATION,
                                  /* thread id */ nullptr);
  }
  bool inPlace = verifyShare(0);
  for (size_t share = 1; share < verifiers; ++share) {
    if (threads[share] == nullptr) {
      shareInPlace[share] = verifyShare(share);
    } else {
      WaitForSingleObject(threads[share], INFINITE);
      CloseHandle(threads[share]);
    }
    inPlace = inPlace && shareInPlace[share];
  }
  return inPlace;
}

}  // namespace

bool tableEntriesInPlace(const wchar_t* targetDirectory, const unsigned char* table,
                         uint64_t tableLength, wchar_t* programPath) {
  if (!openEntryTable(table, tableLength, &firstEntry)) {
    return false;
  }
  directory = targetDirectory;
  directoryUnits = wcslen(targetDirectory);
  TableCursor stoppedAt = scanEntries();
  if (usableEntries > 0) {
    TableCursor cursor = firstEntry;
    TableEntry first;
    nextTableEntry(&cursor, &first);
    buildEntryPath(first, programPath);
  }
  if (!usableFilesInPlace()) {
    return false;
  }
  // Every file before the entry the scan stopped at is in place. A name no file may have sends
  // the start to the region, whose unpacking refuses it; a path too long is a bound exceeded.
  TableEntry stopping;
  if (!nextTableEntry(&stoppedAt, &stopping)) {
    return true;
  }
  if (isCreatableTableName(stopping)) {
    endAbnormally();
  }
  return false;
}

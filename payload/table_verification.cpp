#include "payload/table_verification.h"

#include <windows.h>

#include <cstdlib>
#include <cwchar>

#include "diagnostics/fatal.h"
#include "paths/path_buffer.h"
#include "payload/held_folders.h"
#include "payload/relative_files.h"
#include "payload/verification_shares.h"
#include "rules/entry_name.h"
#include "rules/payload_format.h"

namespace {

// Reserved stack of each verifying thread: its buffers are the arrays below.
constexpr SIZE_T kVerifierStackBytes = SIZE_T{64} << 10;
// The share of an entry no thread works on.
constexpr unsigned char kNoShare = 0xFF;
static_assert(kMaxVerifiers < kNoShare, "every share has a number of its own");

// What the threads do with each entry of their share.
enum class ShareWork { kCheck, kLinkFromSibling };

// The table and what the first pass found.
TableCursor firstEntry;
uint64_t usableEntries;
TableStop stop;
FileState* states;
unsigned char* shares;

// The work under way, set before its threads start and only read by them.
ShareWork work;
const wchar_t* workDirectory;
const wchar_t* workFinalPath;
size_t verifiers;

wchar_t nameUnits[kNameBufferUnits];
wchar_t shareNames[kMaxVerifiers][kNameBufferUnits];
wchar_t sharePaths[kMaxVerifiers][kPathUnits];
wchar_t shareFinalPaths[kMaxVerifiers][kFinalPathUnits];
unsigned char shareBuffers[kMaxVerifiers][kReadBytes];

// The candidate is read with writers kept out, so that what is linked is what was read.
constexpr DWORD kCandidateAccess = GENERIC_READ | FILE_WRITE_ATTRIBUTES;

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

void* allocated(uint64_t count) {
  void* block = calloc(count == 0 ? 1 : count, 1);
  if (block == nullptr) {
    failOutOfMemory();
  }
  return block;
}

// Gives every entry in `state` to a share, split by bytes, and returns how many there are.
uint64_t assignShares(FileState state) {
  uint64_t files = 0;
  uint64_t bytes = 0;
  TableCursor cursor = firstEntry;
  TableEntry entry;
  for (uint64_t i = 0; i < usableEntries && nextTableEntry(&cursor, &entry); ++i) {
    if (states[i] == state) {
      ++files;
      bytes += entry.size;
    }
  }
  verifiers = verifierCount(usableProcessors(), files);
  cursor = firstEntry;
  uint64_t offset = 0;
  for (uint64_t i = 0; i < usableEntries && nextTableEntry(&cursor, &entry); ++i) {
    shares[i] = kNoShare;
    if (states[i] == state) {
      shares[i] = static_cast<unsigned char>(shareOfFile(offset, entry.size, bytes, verifiers));
      offset += entry.size;
    }
  }
  return files;
}

// Whether the sibling's file of the entry named `name` (`units` long) is open as `file` as a
// plain file below the sibling, reached through no link, and holds the entry. Its size is asked
// first, so that a file of another version that differs in size is not read at all.
bool isSoundCandidate(HANDLE file, const wchar_t* name, size_t units, const TableEntry& entry,
                      size_t share) {
  LARGE_INTEGER size;
  return GetFileSizeEx(file, &size) && static_cast<uint64_t>(size.QuadPart) == entry.size &&
         isPlainEntry(file, /* folder */ false) && readFinalPath(file, shareFinalPaths[share]) &&
         isFinalPathBelow(shareFinalPaths[share], workFinalPath, name, units) &&
         openFileHoldsEntry(file, entry.size, entry.storedChecksum, shareBuffers[share]);
}

const RelativeOpen kIdentifyLink{FILE_READ_ATTRIBUTES, kAnySharing, FILE_OPEN,
                                 FILE_NON_DIRECTORY_FILE};
const RelativeOpen kRemoveStrayLink{DELETE | FILE_READ_ATTRIBUTES, kAnySharing, FILE_OPEN,
                                    FILE_NON_DIRECTORY_FILE};

bool isSameFile(HANDLE file, HANDLE other) {
  uint64_t index = 0;
  uint64_t otherIndex = 0;
  return readFileIndex(file, &index) && readFileIndex(other, &otherIndex) && index == otherIndex;
}

// Whether the link just made for `candidate` as `leaf` (`units` long) lies in `folder`, the held
// folder itself. A link is made by path under Wine, so a folder swapped for a link meanwhile
// puts it elsewhere: then that name, a second name of the candidate's file that nothing had
// before (a link never replaces), is taken away again, found by the same path.
bool isLinkedInFolder(HANDLE candidate, const HeldFolder& folder, const wchar_t* leaf, size_t units,
                      size_t share) {
  HANDLE linked = openRelative(folder.handle, leaf, units, kIdentifyLink);
  const bool inFolder = linked != nullptr && isSameFile(candidate, linked);
  if (linked != nullptr) {
    CloseHandle(linked);
  }
  if (inFolder || !joinPath(sharePaths[share], kPathUnits, folder.finalPath, leaf)) {
    return inFolder;
  }
  HANDLE stray = openRelative(/* folder */ nullptr, sharePaths[share], wcslen(sharePaths[share]),
                              kRemoveStrayLink);
  if (stray != nullptr) {
    if (isSameFile(candidate, stray)) {
      markForDeletion(stray);
    }
    CloseHandle(stray);
  }
  return false;
}

// Links the sibling's file of the entry `name` into the entry's held folder, checked to be in
// place just before; the state the entry is in afterwards.
FileState linkFromSibling(const wchar_t* name, size_t units, const TableEntry& entry,
                          size_t share) {
  if (!joinPath(sharePaths[share], kPathUnits, workDirectory, name)) {
    return FileState::kMissing;
  }
  HANDLE candidate = CreateFileW(sharePaths[share], kCandidateAccess, FILE_SHARE_READ,
                                 /* security */ nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN,
                                 /* template */ nullptr);
  if (candidate == INVALID_HANDLE_VALUE) {
    return FileState::kMissing;
  }
  const HeldFolder* folder = heldEntryFolder(name);
  const wchar_t* leaf = entryLeaf(name);
  const size_t leafUnits = units - static_cast<size_t>(leaf - name);
  const bool linked = folder != nullptr && isSoundCandidate(candidate, name, units, entry, share) &&
                      isHeldFolderInPlace(*folder) &&
                      linkRelative(candidate, folder->handle, leaf, leafUnits) &&
                      isLinkedInFolder(candidate, *folder, leaf, leafUnits, share);
  CloseHandle(candidate);
  return linked ? FileState::kInPlace : FileState::kMissing;
}

// Works on every entry of the share.
void workOnShare(size_t share) {
  TableCursor cursor = firstEntry;
  TableEntry entry;
  for (uint64_t i = 0; i < usableEntries && nextTableEntry(&cursor, &entry); ++i) {
    if (shares[i] != share) {
      continue;
    }
    size_t units = copyTableName(entry, shareNames[share]);
    if (work == ShareWork::kCheck) {
      joinPath(sharePaths[share], kPathUnits, workDirectory, shareNames[share]);
      states[i] = existingFileState(sharePaths[share], entry.size, entry.storedChecksum,
                                    shareBuffers[share]);
    } else {
      states[i] = linkFromSibling(shareNames[share], units, entry, share);
    }
  }
}

// Each thread's share, which its thread's argument points at.
constexpr size_t kShareNumbers[kMaxVerifiers] = {0, 1, 2, 3};
static_assert(kMaxVerifiers == 4, "a number for every share");

DWORD WINAPI workOnShareThread(void* share) {
  workOnShare(*static_cast<const size_t*>(share));
  return 0;
}

// Works on share 0 on this thread and every other on a thread of its own, or on this one after
// share 0 when its thread cannot be started.
void workOnEveryShare() {
  HANDLE threads[kMaxVerifiers] = {};
  for (size_t share = 1; share < verifiers; ++share) {
    threads[share] =
        CreateThread(/* security */ nullptr, kVerifierStackBytes, workOnShareThread,
                     const_cast<size_t*>(&kShareNumbers[share]), STACK_SIZE_PARAM_IS_A_RESERVATION,
                     /* thread id */ nullptr);
  }
  workOnShare(0);
  for (size_t share = 1; share < verifiers; ++share) {
    if (threads[share] == nullptr) {
      workOnShare(share);
      continue;
    }
    DWORD waited = WaitForSingleObject(threads[share], INFINITE);
    if (waited != WAIT_OBJECT_0) {
      failUnpack();
    }
    CloseHandle(threads[share]);
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
  states = static_cast<FileState*>(allocated(usableEntries));
  shares = static_cast<unsigned char*>(allocated(usableEntries));
  if (usableEntries > 0) {
    TableCursor cursor = firstEntry;
    TableEntry first;
    nextTableEntry(&cursor, &first);
    copyTableName(first, nameUnits);
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

void checkTableFiles(const wchar_t* targetDirectory, bool targetMissing) {
  if (targetMissing) {
    for (uint64_t i = 0; i < usableEntries; ++i) {
      states[i] = FileState::kMissing;
    }
    return;
  }
  assignShares(FileState::kUnknown);
  work = ShareWork::kCheck;
  workDirectory = targetDirectory;
  workOnEveryShare();
}

uint64_t tableFilesIn(FileState state) {
  uint64_t count = 0;
  for (uint64_t i = 0; i < usableEntries; ++i) {
    count += states[i] == state ? 1 : 0;
  }
  return count;
}

void linkTableFilesFrom(const wchar_t* sibling, const wchar_t* siblingFinalPath) {
  if (assignShares(FileState::kMissing) == 0) {
    return;
  }
  work = ShareWork::kLinkFromSibling;
  workDirectory = sibling;
  workFinalPath = siblingFinalPath;
  workOnEveryShare();
}

#include "payload/table_verification.h"

#include <cstdlib>

#include "diagnostics/fatal.h"
#include "payload/entry_table.h"
#include "payload/held_folders.h"
#include "payload/sibling_links.h"
#include "payload/verification_shares.h"

namespace {

// Reserved stack of each verifying thread: its buffers are the arrays below.
constexpr SIZE_T kVerifierStackBytes = SIZE_T{64} << 10;
// The share of an entry no thread works on.
constexpr unsigned char kNoShare = 0xFF;
static_assert(kMaxVerifiers < kNoShare, "every share has a number of its own");

// What the threads do with each entry of their share.
enum class ShareWork { kCheck, kLinkFromSibling };

unsigned char* shares;

// The work under way, set before its threads start and only read by them.
ShareWork work;
HANDLE workFolder;
const wchar_t* workFinalPath;
size_t verifiers;

ReadBuffers shareBuffers[kMaxVerifiers];
LinkRun shareLinkRuns[kMaxVerifiers];

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

// Gives every entry in `state` to a share, split by bytes, and returns how many there are.
uint64_t assignShares(FileState state) {
  if (shares == nullptr) {
    shares = static_cast<unsigned char*>(calloc(checkableEntries() + 1, 1));
    if (shares == nullptr) {
      failOutOfMemory();
    }
  }
  uint64_t files = 0;
  uint64_t bytes = 0;
  for (TableWalk walk = beginTableWalk(); nextCheckableEntry(&walk);) {
    if (tableFileState(walk.index) == state) {
      ++files;
      bytes += walk.entry.size;
    }
  }
  verifiers = verifierCount(usableProcessors(), files);
  uint64_t offset = 0;
  for (TableWalk walk = beginTableWalk(); nextCheckableEntry(&walk);) {
    shares[walk.index] = kNoShare;
    if (tableFileState(walk.index) == state) {
      shares[walk.index] =
          static_cast<unsigned char>(shareOfFile(offset, walk.entry.size, bytes, verifiers));
      offset += walk.entry.size;
    }
  }
  return files;
}

// Works on every entry of the share.
void workOnShare(size_t share) {
  ReadBuffers& buffers = shareBuffers[share];
  shareLinkRuns[share] = LinkRun{};
  for (TableWalk walk = beginTableWalk(); nextCheckableEntry(&walk);) {
    if (shares[walk.index] != share) {
      continue;
    }
    const TableEntry& entry = walk.entry;
    const size_t units = copyTableName(entry, buffers.name);
    setTableFileState(walk.index,
                      work == ShareWork::kCheck
                          ? existingFileState(workFolder, buffers.name, units, entry.size,
                                              entry.storedChecksum, buffers.bytes)
                          : linkFromSibling(workFolder, workFinalPath, buffers.name, units, entry,
                                            buffers, shareLinkRuns[share]));
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

void checkTableFiles() {
  const HeldFolder* target = heldTargetDirectory();
  if (target == nullptr) {
    for (TableWalk walk = beginTableWalk(); nextCheckableEntry(&walk);) {
      setTableFileState(walk.index, FileState::kMissing);
    }
    return;
  }
  assignShares(FileState::kUnknown);
  work = ShareWork::kCheck;
  workFolder = target->handle;
  workOnEveryShare();
}

void linkTableFilesFrom(HANDLE sibling, const wchar_t* siblingFinalPath) {
  if (assignShares(FileState::kMissing) == 0) {
    return;
  }
  work = ShareWork::kLinkFromSibling;
  workFolder = sibling;
  workFinalPath = siblingFinalPath;
  workOnEveryShare();
}

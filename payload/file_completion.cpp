#include "payload/file_completion.h"

#include <cstdint>

#include "diagnostics/fatal.h"
#include "paths/path_buffer.h"
#include "payload/partial_file.h"
#include "payload/relative_files.h"
#include "rules/path_limits.h"
#include "rules/payload_format.h"

namespace {

// Files written but not yet complete: enough to ride over a run of small files, whose
// completions take longer than their writing.
constexpr uint64_t kPendingFiles = 8;

// A file to complete, with copies of what the main thread's buffers and held folders hold for
// it only until it writes the next file.
struct PendingFile {
  HANDLE file;
  HeldFolder folder;
  wchar_t leaf[kNameBufferUnits];
  wchar_t partial[kPathUnits];
  wchar_t destination[kPathUnits];
};

// Shared between the two threads, under `lock`. The main thread fills the slot of `handedOver`
// only while the completion thread has no use for it.
SRWLOCK lock = SRWLOCK_INIT;
CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
PendingFile pending[kPendingFiles];
uint64_t handedOver;
uint64_t completed;
// The destination of the first file that could not be completed: the main thread reports it,
// as every failure, since only it may end the process while the other threads work.
bool failed;
wchar_t failedDestination[kPathUnits];

// The main thread's own.
HANDLE completionThread;
bool noThread;

// Completes the files handed over, one after the other, until the process ends.
DWORD WINAPI completeFiles(void* /* unused */) {
  for (;;) {
    AcquireSRWLockExclusive(&lock);
    while (completed == handedOver) {
      SleepConditionVariableSRW(&changed, &lock, INFINITE, /* flags */ 0);
    }
    PendingFile& next = pending[completed % kPendingFiles];
    const bool giveUp = failed;
    ReleaseSRWLockExclusive(&lock);
    // After a failure the start ends: no later file takes its name.
    bool complete = false;
    if (giveUp) {
      markForDeletion(next.file);
      CloseHandle(next.file);
    } else {
      complete =
          completePartialFile(next.file, next.folder, next.leaf, next.partial, next.destination);
    }
    AcquireSRWLockExclusive(&lock);
    if (!complete && !failed) {
      failed = true;
      copyBounded(failedDestination, kPathUnits, next.destination);
    }
    ++completed;
    WakeAllConditionVariable(&changed);
    ReleaseSRWLockExclusive(&lock);
  }
}

bool startCompletionThread() {
  if (completionThread == nullptr && !noThread) {
    completionThread = CreateThread(/* security */ nullptr, /* default stack */ 0, completeFiles,
                                    /* argument */ nullptr, /* flags */ 0, /* thread id */ nullptr);
    noThread = completionThread == nullptr;
  }
  return completionThread != nullptr;
}

// Waits while `busy` says there are pending files; returns whether one could not be completed.
template <typename Busy>
bool waitWhile(Busy busy) {
  AcquireSRWLockExclusive(&lock);
  while (busy()) {
    SleepConditionVariableSRW(&changed, &lock, INFINITE, /* flags */ 0);
  }
  const bool anyFailed = failed;
  ReleaseSRWLockExclusive(&lock);
  return anyFailed;
}

// The same, then ends the process when a file could not be completed.
template <typename Busy>
void awaitPendingFiles(Busy busy) {
  if (waitWhile(busy)) {
    failOpenForWriting(failedDestination);
  }
}

}  // namespace

void completeInTurn(HANDLE file, const HeldFolder& folder, const wchar_t* leaf,
                    const wchar_t* partial, const wchar_t* destination) {
  if (!startCompletionThread()) {
    if (!completePartialFile(file, folder, leaf, partial, destination)) {
      failOpenForWriting(destination);
    }
    return;
  }
  awaitPendingFiles([] { return handedOver - completed == kPendingFiles; });
  AcquireSRWLockExclusive(&lock);
  PendingFile& slot = pending[handedOver % kPendingFiles];
  ReleaseSRWLockExclusive(&lock);
  slot.file = file;
  slot.folder = folder;
  copyBounded(slot.leaf, kNameBufferUnits, leaf);
  copyBounded(slot.partial, kPathUnits, partial);
  copyBounded(slot.destination, kPathUnits, destination);
  AcquireSRWLockExclusive(&lock);
  ++handedOver;
  WakeAllConditionVariable(&changed);
  ReleaseSRWLockExclusive(&lock);
}

void awaitCompletedFiles() {
  awaitPendingFiles([] { return completed != handedOver; });
}

void settleHandedOverFiles() {
  waitWhile([] { return completed != handedOver; });
}

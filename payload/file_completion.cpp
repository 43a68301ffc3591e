#include "payload/file_completion.h"

#include <cstdint>

#include "paths/path_buffer.h"
#include "payload/partial_file.h"
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
    ReleaseSRWLockExclusive(&lock);
    completePartialFile(next.file, next.folder, next.leaf, next.partial, next.destination);
    AcquireSRWLockExclusive(&lock);
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

}  // namespace

void completeInTurn(HANDLE file, const HeldFolder& folder, const wchar_t* leaf,
                    const wchar_t* partial, const wchar_t* destination) {
  if (!startCompletionThread()) {
    completePartialFile(file, folder, leaf, partial, destination);
    return;
  }
  AcquireSRWLockExclusive(&lock);
  while (handedOver - completed == kPendingFiles) {
    SleepConditionVariableSRW(&changed, &lock, INFINITE, /* flags */ 0);
  }
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
  AcquireSRWLockExclusive(&lock);
  while (completed != handedOver) {
    SleepConditionVariableSRW(&changed, &lock, INFINITE, /* flags */ 0);
  }
  ReleaseSRWLockExclusive(&lock);
}

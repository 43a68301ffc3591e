#include "launcher/child_supervision.h"

#include "diagnostics/fatal.h"

// The child-handle slot is shared by the main thread and the handler threads the system starts
// for console events (two events may run the handler twice at once). A lock guards the slot
// only, never a wait: the main thread takes the handle out of the slot after its wait and is
// then its sole owner; a handler works on a duplicate it made while the slot still held the
// handle. So each handle is closed exactly once, by its one owner, and never used after.
namespace {

SRWLOCK slotLock = SRWLOCK_INIT;
HANDLE childSlot;

// Open until the process ends: closing it, which the system does when the launcher ends in any
// way, ends the child.
HANDLE childJob;

// What ResumeThread returns when it fails.
constexpr DWORD kResumeFailed = static_cast<DWORD>(-1);

HANDLE createKillOnCloseJob() {
  HANDLE job = CreateJobObjectW(/* security */ nullptr, /* name */ nullptr);
  if (job == nullptr) {
    return nullptr;
  }
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags =
      JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
  if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    CloseHandle(job);
    return nullptr;
  }
  return job;
}

// Empties the slot and returns what it held.
HANDLE takeChild() {
  AcquireSRWLockExclusive(&slotLock);
  HANDLE process = childSlot;
  childSlot = nullptr;
  ReleaseSRWLockExclusive(&slotLock);
  return process;
}

// A handle of the handler's own to the supervised child, or null when there is none.
HANDLE duplicateChild() {
  HANDLE copy = nullptr;
  AcquireSRWLockShared(&slotLock);
  if (childSlot != nullptr &&
      !DuplicateHandle(GetCurrentProcess(), childSlot, GetCurrentProcess(), &copy,
                       /* access */ 0, /* inherit */ FALSE, DUPLICATE_SAME_ACCESS)) {
    copy = nullptr;
  }
  ReleaseSRWLockShared(&slotLock);
  return copy;
}

void tieChildToLauncher(HANDLE process) {
  HANDLE job = createKillOnCloseJob();
  if (job == nullptr) {
    return;
  }
  if (!AssignProcessToJobObject(job, process)) {
    CloseHandle(job);
    return;
  }
  childJob = job;
}

}  // namespace

void releaseChild(const PROCESS_INFORMATION& child) {
  tieChildToLauncher(child.hProcess);
  if (ResumeThread(child.hThread) == kResumeFailed) {
    const DWORD error = GetLastError();
    TerminateProcess(child.hProcess, error);
    failLaunch(error);
  }
  CloseHandle(child.hThread);
}

void superviseChild(HANDLE process) {
  AcquireSRWLockExclusive(&slotLock);
  childSlot = process;
  ReleaseSRWLockExclusive(&slotLock);
}

uint32_t waitForChild() {
  AcquireSRWLockShared(&slotLock);
  HANDLE process = childSlot;
  ReleaseSRWLockShared(&slotLock);
  // Only this thread empties the slot, so the handle stays open during the wait. Without a
  // limit, a wait on a process ends when it does or fails.
  if (WaitForSingleObject(process, INFINITE) == WAIT_FAILED) {
    failLaunch(GetLastError());
  }
  process = takeChild();
  DWORD exitCode;
  if (!GetExitCodeProcess(process, &exitCode)) {
    exitCode = kUnreadableExitCode;
  }
  CloseHandle(process);
  return exitCode;
}

void cleanUpChild() {
  HANDLE process = duplicateChild();
  if (process == nullptr) {
    return;
  }
  if (WaitForSingleObject(process, kGraceMilliseconds) != WAIT_OBJECT_0) {
    TerminateProcess(process, /* exit code */ 0);
  }
  CloseHandle(process);
}

bool endsTheChild(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      return true;
    default:
      return false;
  }
}

BOOL WINAPI consoleControlHandler(DWORD event) {
  if (endsTheChild(event)) {
    cleanUpChild();
  }
  return FALSE;
}

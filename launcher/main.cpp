// The launcher: unpacks the application it carries below the target directory, starts its
// main program with the launcher's own arguments, handles and environment, and ends with the
// program's exit code.
#include <windows.h>

#include <cstdint>
#include <cwchar>

#include "configuration/launcher_values.h"
#include "diagnostics/fatal.h"
#include "diagnostics/progress_window.h"
#include "launcher/own_payload.h"
#include "launcher/child_command_line.h"
#include "launcher/child_creation.h"
#include "launcher/child_supervision.h"
#include "launcher/dll_search.h"
#include "launcher/own_image.h"
#include "paths/environment.h"
#include "paths/number_text.h"
#include "paths/published_values.h"
#include "paths/system_paths.h"
#include "paths/target_directory.h"
#include "payload/copy_record.h"
#include "payload/copy_removal.h"
#include "payload/held_folders.h"
#include "payload/unpack.h"

namespace {

// The launcher's own path (at most kOwnPathUnits - 1 characters) and its terminator.
constexpr size_t kLauncherDirectoryUnits = kOwnPathUnits + 1;

// CreateProcessW takes no application name of this many characters or more, long-path
// awareness notwithstanding.
constexpr size_t kApplicationNameLimit = MAX_PATH;

// STARTF_USEMONITOR, which this compiler's headers lack: hStdOutput then names a monitor.
constexpr DWORD kStartfUseMonitor = 0x400;

wchar_t launcherDirectory[kLauncherDirectoryUnits];
wchar_t shortProgramPath[kPathUnits];

// Set once the child runs: a console event then ends the launcher only after the copy that goes
// with the program is removed. Before, the system's default handling ends it at once, and the
// copy's record leaves it to a later start.
volatile LONG childRunning;

// Every launch makes its own published values: inherited ones are never reused.
void clearPublishedValues() {
  removeEnvironment(kStartVariable);
  removeEnvironment(kTimeUsVariable);
  removeEnvironment(kRandomVariable);
}

// Before the expansion, which reads it for {PID}.
void publishProcessId() {
  wchar_t text[kNumberUnits];
  formatDecimal(GetCurrentProcessId(), /* digits at least */ 1, text);
  writeEnvironment(kParentVariable, text);
}

// The folder that holds the launcher: its own path cut at the last backslash. A launcher at a
// drive root gives the bare drive ("D:").
void publishLauncherDirectory() {
  copyBounded(launcherDirectory, kLauncherDirectoryUnits, getOwnExecutablePath());
  wchar_t* backslash = wcsrchr(launcherDirectory, L'\\');
  if (backslash != nullptr) {
    *backslash = L'\0';
  }
  writeEnvironment(kDirectoryVariable, launcherDirectory);
}

// The program path, or for a path too long to be started its short form, where the volume
// keeps short names; else the long path, whose failure the launch then reports.
const wchar_t* childApplicationName(const wchar_t* programPath) {
  if (wcslen(programPath) < kApplicationNameLimit) {
    return programPath;
  }
  DWORD length = GetShortPathNameW(programPath, shortProgramPath, kPathUnits);
  return length > 0 && length < kApplicationNameLimit ? shortProgramPath : programPath;
}

// The launcher's own start-up information (the flags, window state and title a shortcut or the
// starting program asked for) with the launcher's standard handles. The runtime's reserved
// fields describe the launcher's own handle table, not the child's, and the hot key and
// monitor flags would read the standard handles as something else.
void fillStartupInfo(STARTUPINFOW* startup) {
  GetStartupInfoW(startup);
  startup->cb = sizeof *startup;
  startup->lpReserved = nullptr;
  startup->cbReserved2 = 0;
  startup->lpReserved2 = nullptr;
  startup->dwFlags =
      (startup->dwFlags & ~(STARTF_USEHOTKEY | kStartfUseMonitor)) | STARTF_USESTDHANDLES;
  startup->hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup->hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup->hStdError = GetStdHandle(STD_ERROR_HANDLE);
}

// Suspended, so that the child is tied to the launcher before it runs its first instruction.
HANDLE startChild(const wchar_t* programPath, const wchar_t* targetDirectory) {
  STARTUPINFOW startup;
  fillStartupInfo(&startup);
  wchar_t* commandLine = buildChildCommandLine(targetDirectory);
  PROCESS_INFORMATION child{};
  // Same handles, directory and environment as the launcher, and its console if it has one.
  if (!CreateProcessW(childApplicationName(programPath), commandLine,
                      /* process security */ nullptr,
                      /* thread security */ nullptr, /* inherit handles */ TRUE,
                      childCreationFlags() | CREATE_SUSPENDED, /* environment */ nullptr,
                      /* current directory */ nullptr, &startup, &child)) {
    failLaunch(GetLastError());
  }
  releaseChild(child);
  closeProgressWhenReady(child.hProcess);
  return child.hProcess;
}

// Registered before consoleControlHandler, so that the system calls it after that handler has
// given the child its grace time.
BOOL WINAPI awaitRemovalOnConsoleEvent(DWORD event) {
  if (endsTheChild(event) && InterlockedCompareExchange(&childRunning, 0, 0) != 0) {
    awaitCopyRemoval();
  }
  return FALSE;
}

// What a start unpacks with. Nothing is taken from beside a target that others may write below,
// nor recorded there for later starts. A copy that goes with its program takes nothing from
// copies beside it either: a linked file is one file under both names, which no removal could
// take away while either copy's program runs.
UnpackOptions unpackOptions(uint32_t options) {
  const bool shared = (options & kSharedTargetOption) != 0;
  const bool removeAfterExit = (options & kRemoveAfterExitOption) != 0;
  UnpackOptions unpack{};
  unpack.linkFromSiblings = !shared && !removeAfterExit;
  unpack.recordCopy = !shared;
  unpack.recordFlags = removeAfterExit ? kCopyForOneStart : 0;
  return unpack;
}

}  // namespace

int wmain(int /* argc */, wchar_t** argv) {
  static wchar_t targetDirectory[kPathUnits];
  restrictDllSearch();
  checkImageDescriptor();
  clearPublishedValues();
  publishProcessId();
  prepareTargetDirectory(targetDirectory, targetSpec());
  const uint32_t options = launchOptions();
  const bool removeAfterExit = (options & kRemoveAfterExitOption) != 0;
  if (removeAfterExit) {
    SetConsoleCtrlHandler(awaitRemovalOnConsoleEvent, /* add */ TRUE);
  }
  if (!SetConsoleCtrlHandler(consoleControlHandler, /* add */ TRUE)) {
    failRegisterHandler();
  }
  if (removeAfterExit) {
    removeCopyWhenTheLauncherEnds(targetDirectory);
  }
  const wchar_t* programPath =
      unpackPayload(targetDirectory, attachedPayload(), unpackOptions(options));
  publishLauncherDirectory();
  writeEnvironment(kTargetVariable, targetDirectory);
  writeEnvironment(kOriginalArgv0Variable, argv[0]);
  superviseChild(startChild(programPath, targetDirectory));
  InterlockedExchange(&childRunning, 1);
  // The target directory stays held until the program has ended: the mark that a start uses it.
  keepTargetDirectoryInUse();
  // After the program started, so that its start is not slowed.
  // Nothing beside a target that others may write below is this launcher's to remove.
  const bool removes =
      (options & kSharedTargetOption) == 0 && (keptVersions(options) > 0 || removeAfterExit);
  const bool copiesLeft =
      removes && !removeUnwantedCopies(targetDirectory, keptVersions(options), removeAfterExit);
  uint32_t exitCode = waitForChild();
  if (copiesLeft) {
    removeUnwantedCopies(targetDirectory, keptVersions(options), removeAfterExit);
  }
  return static_cast<int>(exitCode);
}

// The running child: the main thread's wait for it, and the console control handler that gives
// it a grace time and then terminates it.
#pragma once

#include <windows.h>

#include <cstdint>

// How long a console event lets the child end by itself before it is terminated.
constexpr DWORD kGraceMilliseconds = 5000;
// Exit status when the child's exit code cannot be read.
constexpr uint32_t kUnreadableExitCode = 1;

// Lets the child, created suspended, run, tied to the launcher: in a job that ends it when the
// launcher ends, however that happens, and that processes the child starts leave at once, so
// that they outlive the launcher as they would outlive the child. Where the system makes or
// assigns no such job (a job the launcher runs in may forbid it), the child runs untied. Closes
// the thread handle. Ends the process with "Error, couldn't launch child" and the system error,
// the child terminated, when the child cannot be resumed.
void releaseChild(const PROCESS_INFORMATION& child);

// Hands the started child's process handle to the supervision; the handle now belongs to it.
void superviseChild(HANDLE process);

// Waits without limit for the child, closes its handle and returns its exit code (or 1). Ends
// the process with "Error, couldn't launch child" and the system error when the wait fails.
uint32_t waitForChild();

// When a child is supervised: waits up to kGraceMilliseconds for it, terminates it with exit
// code 0 if it still runs. Does nothing when there is no child.
void cleanUpChild();

// Whether the console event `event` ends the child: Ctrl-C, Ctrl-Break, close, log-off and
// shutdown.
bool endsTheChild(DWORD event);

// Console control handler: cleanUpChild for Ctrl-C, Ctrl-Break, close, log-off and shutdown,
// nothing for other events. Always FALSE, so that the system's default handling follows.
BOOL WINAPI consoleControlHandler(DWORD event);

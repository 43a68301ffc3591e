// The main program of the benchmark's versions: it runs for a while, as a program does, so that
// what its launcher does while it runs (removing old versions) is not counted against the start.
#include <windows.h>

// Longer than any removal of an old version of the benchmark's versions takes.
constexpr DWORD kRunMilliseconds = 1000;

int wmain() {
  Sleep(kRunMilliseconds);
  return 0;
}

// The bare child with the launcher's imports: it splits its command line through shell32, as
// the launcher does, so that its start shows what loading shell32 adds to a process start.
#include <windows.h>
#include <shellapi.h>

int wmain() {
  int count = 0;
  LocalFree(CommandLineToArgvW(GetCommandLineW(), &count));
  return 0;
}

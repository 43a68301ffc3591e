#include "launcher/dll_search.h"

#include <windows.h>

namespace {

// Looked up, not imported: systems before Windows 8 lack it unless updated.
using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

}  // namespace

void restrictDllSearch() {
  SetDllDirectoryW(L"");
  // Some systems (Wine among them) keep the current directory in the order in spite of the
  // empty DLL directory; the default directories leave it out wherever they exist.
  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  if (kernel32 == nullptr) {
    return;
  }
  auto setDefaultDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernel32, "SetDefaultDllDirectories")));
  if (setDefaultDirectories != nullptr) {
    setDefaultDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
}

#include "tests/support/message_box_seam.h"

#include <cstring>
#include <string>

// The linker option --wrap=__imp_GetProcAddress sends the code's calls through
// __wrap___imp_GetProcAddress, and __real___imp_GetProcAddress is the system's import pointer.
extern "C" decltype(&GetProcAddress) __real___imp_GetProcAddress;

namespace {

HANDLE recordFile = nullptr;

std::string utf8(const wchar_t* text) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(bytes > 0 ? bytes - 1 : 0, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), bytes, nullptr, nullptr);
  return out;
}

int WINAPI fakeMessageBox(HWND /* owner */, const wchar_t* text, const wchar_t* title,
                          UINT /* type */) {
  const std::string line = "box: " + utf8(title) + " | " + utf8(text) + "\n";
  DWORD written = 0;
  WriteFile(recordFile, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  return IDOK;
}

FARPROC WINAPI procAddress(HMODULE module, const char* name) {
  // Ordinals are small numbers in place of a name.
  const bool byName = reinterpret_cast<uintptr_t>(name) > 0xFFFF;
  if (recordFile != nullptr && byName && std::strcmp(name, "MessageBoxW") == 0) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(fakeMessageBox));
  }
  return __real___imp_GetProcAddress(module, name);
}

}  // namespace

extern "C" {
decltype(&GetProcAddress) __wrap___imp_GetProcAddress = procAddress;
}

void recordMessageBoxesTo(HANDLE file) {
  recordFile = file;
}

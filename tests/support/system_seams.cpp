#include "tests/support/system_seams.h"

#include <shlobj.h>

namespace {

template <typename Function>
Function realFunction(const wchar_t* module, const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(module), name)));
}

KnownFolderFunction knownFolderFake;
bool moduleFileNameFails = false;
bool exitCodeFails = false;
int writesAllowed = -1;
DWORD writeError = 0;
SystemCalls calls;
std::wstring fakeVariable;
std::wstring fakeValue;

HRESULT WINAPI knownFolder(HWND owner, int folder, HANDLE token, DWORD flags, LPWSTR path) {
  ++calls.knownFolder;
  if (knownFolderFake)
    return knownFolderFake(folder, path);
  static auto real = realFunction<decltype(&knownFolder)>(L"shell32.dll", "SHGetFolderPathW");
  return real(owner, folder, token, flags, path);
}

DWORD WINAPI moduleFileName(HMODULE module, LPWSTR name, DWORD size) {
  if (moduleFileNameFails) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  static auto real = realFunction<decltype(&moduleFileName)>(L"kernel32.dll", "GetModuleFileNameW");
  return real(module, name, size);
}

BOOL WINAPI exitCodeProcess(HANDLE process, LPDWORD code) {
  if (exitCodeFails) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  static auto real =
      realFunction<decltype(&exitCodeProcess)>(L"kernel32.dll", "GetExitCodeProcess");
  return real(process, code);
}

BOOL WINAPI writeFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED ov) {
  ++calls.writeFile;
  if (writesAllowed == 0) {
    SetLastError(writeError);
    return FALSE;
  }
  if (writesAllowed > 0)
    --writesAllowed;
  static auto real = realFunction<decltype(&writeFile)>(L"kernel32.dll", "WriteFile");
  return real(file, data, size, written, ov);
}

BOOL WINAPI createDirectory(LPCWSTR path, LPSECURITY_ATTRIBUTES security) {
  calls.createDirectory.emplace_back(path);
  static auto real = realFunction<decltype(&createDirectory)>(L"kernel32.dll", "CreateDirectoryW");
  return real(path, security);
}

DWORD WINAPI environmentVariable(LPCWSTR name, LPWSTR buffer, DWORD size) {
  if (!fakeVariable.empty() && fakeVariable == name) {
    if (fakeValue.size() + 1 > size)
      return static_cast<DWORD>(fakeValue.size() + 1);
    wcscpy(buffer, fakeValue.c_str());
    return static_cast<DWORD>(fakeValue.size());
  }
  static auto real =
      realFunction<decltype(&environmentVariable)>(L"kernel32.dll", "GetEnvironmentVariableW");
  return real(name, buffer, size);
}

BOOL WINAPI dllDirectory(LPCWSTR path) {
  calls.dllDirectory.emplace_back(path == nullptr ? L"<null>" : path);
  static auto real = realFunction<decltype(&dllDirectory)>(L"kernel32.dll", "SetDllDirectoryW");
  return real(path);
}

}  // namespace

// The import pointers that code compiled against the system headers calls through.
extern "C" {
decltype(&knownFolder) __imp_SHGetFolderPathW = knownFolder;
decltype(&moduleFileName) __imp_GetModuleFileNameW = moduleFileName;
decltype(&exitCodeProcess) __imp_GetExitCodeProcess = exitCodeProcess;
decltype(&writeFile) __imp_WriteFile = writeFile;
decltype(&createDirectory) __imp_CreateDirectoryW = createDirectory;
decltype(&environmentVariable) __imp_GetEnvironmentVariableW = environmentVariable;
decltype(&dllDirectory) __imp_SetDllDirectoryW = dllDirectory;
}

void overrideKnownFolder(KnownFolderFunction fake) {
  knownFolderFake = std::move(fake);
}
void resetKnownFolder() {
  knownFolderFake = nullptr;
}
void failModuleFileName() {
  moduleFileNameFails = true;
}
void failExitCodeProcess() {
  exitCodeFails = true;
}
void resetExitCodeProcess() {
  exitCodeFails = false;
}
void failWriteFileAfter(int allowedCalls, DWORD error) {
  writesAllowed = allowedCalls;
  writeError = error;
}
void resetWriteFile() {
  writesAllowed = -1;
}
const SystemCalls& systemCalls() {
  return calls;
}
void overrideEnvironmentValue(const std::wstring& name, const std::wstring& value) {
  fakeVariable = name;
  fakeValue = value;
}
void resetEnvironmentValue() {
  fakeVariable.clear();
}

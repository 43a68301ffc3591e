#include "tests/support/system_seams.h"

#include <shlobj.h>

#include <algorithm>
#include <cwchar>

namespace {

template <typename Function>
Function realFunction(const wchar_t* module, const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(module), name)));
}

KnownFolderFunction knownFolderFake;
bool moduleFileNameFails = false;
std::wstring fakeModuleName;
bool exitCodeFails = false;
bool waitFails = false;
int writesAllowed = -1;
DWORD writeError = 0;
DWORD mostBytesWritten = MAXDWORD;
SystemCalls calls;
std::wstring fakeVariable;
std::wstring fakeValue;
bool errorIsConsole = false;
bool resumeFails = false;
bool jobAssignmentFails = false;

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
  if (!fakeModuleName.empty()) {
    const DWORD units = std::min(static_cast<DWORD>(fakeModuleName.size()), size - 1);
    wmemcpy(name, fakeModuleName.c_str(), units);
    name[units] = L'\0';
    if (units < fakeModuleName.size()) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return size;
    }
    return units;
  }
  static auto real = realFunction<decltype(&moduleFileName)>(L"kernel32.dll", "GetModuleFileNameW");
  return real(module, name, size);
}

// The real call through its extended form, which needs no lookup: the threads and guards of the
// runtime wait through this seam too, from before any lookup could be made safely.
DWORD WINAPI waitForObject(HANDLE object, DWORD milliseconds) {
  if (waitFails) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return WaitForSingleObjectEx(object, milliseconds, /* alertable */ FALSE);
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
  if (mostBytesWritten == 0) {
    *written = 0;
    return TRUE;
  }
  return real(file, data, std::min(size, mostBytesWritten), written, ov);
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

DWORD WINAPI resumeThread(HANDLE thread) {
  if (resumeFails) {
    SetLastError(ERROR_ACCESS_DENIED);
    return static_cast<DWORD>(-1);
  }
  static auto real = realFunction<decltype(&resumeThread)>(L"kernel32.dll", "ResumeThread");
  return real(thread);
}

BOOL WINAPI assignToJob(HANDLE job, HANDLE process) {
  if (jobAssignmentFails) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  static auto real =
      realFunction<decltype(&assignToJob)>(L"kernel32.dll", "AssignProcessToJobObject");
  return real(job, process);
}

bool isFakeConsole(HANDLE handle) {
  return errorIsConsole && handle == GetStdHandle(STD_ERROR_HANDLE);
}

BOOL WINAPI consoleMode(HANDLE handle, LPDWORD mode) {
  if (isFakeConsole(handle)) {
    *mode = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
    return TRUE;
  }
  static auto real = realFunction<decltype(&consoleMode)>(L"kernel32.dll", "GetConsoleMode");
  return real(handle, mode);
}

BOOL WINAPI writeConsole(HANDLE handle, const void* text, DWORD units, LPDWORD written,
                         LPVOID reserved) {
  static auto real = realFunction<decltype(&writeConsole)>(L"kernel32.dll", "WriteConsoleW");
  if (!isFakeConsole(handle))
    return real(handle, text, units, written, reserved);
  const auto* wide = static_cast<const wchar_t*>(text);
  std::string utf8(4 * units, '\0');
  int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(units), utf8.data(),
                                  static_cast<int>(utf8.size()), nullptr, nullptr);
  DWORD put = 0;
  if (!WriteFile(handle, utf8.data(), static_cast<DWORD>(bytes), &put, nullptr))
    return FALSE;
  *written = units;
  return TRUE;
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
decltype(&waitForObject) __imp_WaitForSingleObject = waitForObject;
decltype(&writeFile) __imp_WriteFile = writeFile;
decltype(&createDirectory) __imp_CreateDirectoryW = createDirectory;
decltype(&environmentVariable) __imp_GetEnvironmentVariableW = environmentVariable;
decltype(&dllDirectory) __imp_SetDllDirectoryW = dllDirectory;
decltype(&consoleMode) __imp_GetConsoleMode = consoleMode;
decltype(&resumeThread) __imp_ResumeThread = resumeThread;
decltype(&assignToJob) __imp_AssignProcessToJobObject = assignToJob;
decltype(&writeConsole) __imp_WriteConsoleW = writeConsole;
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
void reportModuleFileName(const std::wstring& path) {
  fakeModuleName = path;
}
void failResumeThread() {
  resumeFails = true;
}
void failJobAssignment() {
  jobAssignmentFails = true;
}
void resetJobAssignment() {
  jobAssignmentFails = false;
}
void pretendStandardErrorIsConsole() {
  errorIsConsole = true;
}
void failWaitForSingleObject() {
  waitFails = true;
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
  mostBytesWritten = MAXDWORD;
}
void shortenWriteFile(DWORD mostBytes) {
  mostBytesWritten = mostBytes;
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

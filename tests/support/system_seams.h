// Test-only substitutes for system calls whose failures cannot be brought about under Wine.
// A test program that uses one of these replaces the call for its whole process: the
// launcher's code calls through the import pointer, which this object defines in place of the
// system's import library. Without an override the real function is called.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

using KnownFolderFunction = std::function<HRESULT(int folderId, wchar_t* path)>;

// Answers SHGetFolderPathW with `fake` until resetKnownFolder.
void overrideKnownFolder(KnownFolderFunction fake);
void resetKnownFolder();

// Makes GetModuleFileNameW fail (return 0) for the rest of the process.
void failModuleFileName();
// Answers GetModuleFileNameW with `path` for the rest of the process, cut to the buffer as
// Windows cuts a path that does not fit (the buffer's size returned, ERROR_INSUFFICIENT_BUFFER).
void reportModuleFileName(const std::wstring& path);

// Makes standard error pass for a console for the rest of the process: GetConsoleMode succeeds
// on it, and WriteConsoleW writes the text it is given there in UTF-8.
void pretendStandardErrorIsConsole();

// Makes ResumeThread fail with ERROR_ACCESS_DENIED for the rest of the process.
void failResumeThread();
// Makes AssignProcessToJobObject fail, as in a job that forbids it, until resetJobAssignment.
void failJobAssignment();
void resetJobAssignment();

// Makes WaitForSingleObject fail with ERROR_INVALID_HANDLE for the rest of the process.
void failWaitForSingleObject();

// Makes GetExitCodeProcess fail until resetExitCodeProcess.
void failExitCodeProcess();
void resetExitCodeProcess();

// Makes WriteFile fail with `error` after `allowedCalls` more successful calls, until
// resetWriteFile.
void failWriteFileAfter(int allowedCalls, DWORD error);
// Makes every WriteFile succeed having written at most `mostBytes` bytes (none at all for 0), as
// Wine's does on a full disk, until resetWriteFile.
void shortenWriteFile(DWORD mostBytes);
void resetWriteFile();

// Answers GetEnvironmentVariableW for `name` with `value`, as Windows documents the call
// (Wine stores at most 32766 units), until resetEnvironmentValue.
void overrideEnvironmentValue(const std::wstring& name, const std::wstring& value);
void resetEnvironmentValue();

// What the process has asked of the system so far, for tests that check what was (not) done.
struct SystemCalls {
  int writeFile = 0;
  int knownFolder = 0;
  std::vector<std::wstring> createDirectory;  // every path, in order
  std::vector<std::wstring> dllDirectory;     // every SetDllDirectoryW argument, in order
};
const SystemCalls& systemCalls();

#include "tests/support/process.h"

#include <algorithm>
#include <cwctype>
#include <stdexcept>
#include <thread>

namespace {

std::wstring upper(std::wstring text) {
  for (wchar_t& c : text)
    c = static_cast<wchar_t>(std::towupper(c));
  return text;
}

std::wstring variableName(const std::wstring& entry) {
  // Entries such as "=C:=C:\dir" start with '='; the name then runs to the second '='.
  size_t end = entry.find(L'=', 1);
  return upper(entry.substr(0, end));
}

// The test's environment with the requested changes, as a CreateProcessW block.
std::wstring environmentBlock(const ProcessOptions& options) {
  std::vector<std::wstring> entries;
  wchar_t* strings = GetEnvironmentStringsW();
  for (wchar_t* p = strings; *p; p += wcslen(p) + 1)
    entries.emplace_back(p);
  FreeEnvironmentStringsW(strings);

  auto drop = [&entries](const std::wstring& name) {
    std::wstring key = upper(name);
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const std::wstring& e) { return variableName(e) == key; }),
                  entries.end());
  };
  for (const auto& name : options.removeEnvironment)
    drop(name);
  for (const auto& [name, value] : options.setEnvironment) {
    drop(name);
    entries.push_back(name + L"=" + value);
  }
  std::wstring block;
  for (const auto& e : entries)
    block += e + L'\0';
  block += L'\0';
  return block;
}

void readAll(HANDLE pipe, std::string* sink) {
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0)
    sink->append(buffer, got);
}

HANDLE openNullInput() {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     OPEN_EXISTING, 0, nullptr);
}

}  // namespace

ProcessResult runProcess(const std::wstring& application, const std::wstring& commandLine,
                         const ProcessOptions& options) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE outRead, outWrite, errRead, errWrite;
  if (!CreatePipe(&outRead, &outWrite, &inherit, 0) ||
      !CreatePipe(&errRead, &errWrite, &inherit, 0))
    throw std::runtime_error("CreatePipe failed");
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
  HANDLE input = openNullInput();

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = outWrite;
  startup.hStdError = errWrite;
  if (options.useShowWindow) {
    startup.dwFlags |= STARTF_USESHOWWINDOW;
    startup.wShowWindow = options.showWindow;
  }
  std::wstring title = options.title;
  if (!title.empty())
    startup.lpTitle = title.data();
  PROCESS_INFORMATION info{};
  std::wstring line = commandLine;
  std::wstring environment = environmentBlock(options);
  BOOL started = FALSE;
  DWORD startError = 0;
  // Wine's CreateProcessW now and then fails with ERROR_INTERNAL_ERROR under load, a hiccup of
  // its own that a second attempt gets past.
  for (int attempt = 0; attempt < 2 && !started; ++attempt) {
    line = commandLine;
    started = CreateProcessW(
        application.empty() ? nullptr : application.c_str(), line.data(), nullptr, nullptr,
        /* inherit handles */ TRUE, CREATE_UNICODE_ENVIRONMENT | options.creationFlags,
        environment.data(),
        options.currentDirectory.empty() ? nullptr : options.currentDirectory.c_str(), &startup,
        &info);
    startError = started ? 0 : GetLastError();
    if (startError != ERROR_INTERNAL_ERROR) {
      break;
    }
  }
  CloseHandle(outWrite);
  CloseHandle(errWrite);
  CloseHandle(input);
  if (!started) {
    CloseHandle(outRead);
    CloseHandle(errRead);
    throw std::runtime_error("CreateProcessW failed with " + std::to_string(startError) + " for " +
                             narrow(commandLine));
  }
  CloseHandle(info.hThread);

  ProcessResult result;
  std::thread outReader(readAll, outRead, &result.out);
  std::thread errReader(readAll, errRead, &result.err);
  if (WaitForSingleObject(info.hProcess, options.timeoutMs) != WAIT_OBJECT_0) {
    result.timedOut = true;
    TerminateProcess(info.hProcess, 1);
    WaitForSingleObject(info.hProcess, INFINITE);
  }
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  result.exitCode = code;
  CloseHandle(info.hProcess);
  // Grandchildren may still hold the pipes: readers end when the last writer is gone.
  outReader.join();
  errReader.join();
  CloseHandle(outRead);
  CloseHandle(errRead);
  return result;
}

std::wstring quoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
    return argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    quoted += c;
    backslashes = 0;
  }
  quoted.append(2 * backslashes, L'\\');
  return quoted + L"\"";
}

std::wstring ownPath() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

ProcessResult runProbe(const std::string& name, const ProcessOptions& options) {
  std::wstring self = ownPath();
  return runProcess(self, quoteArgument(self) + L" --probe " + widen(name), options);
}

std::wstring widen(const std::string& text) {
  int units =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(units, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
  return wide;
}

std::string narrow(const std::wstring& text) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                  0, nullptr, nullptr);
  std::string utf8(bytes, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), bytes,
                      nullptr, nullptr);
  return utf8;
}

std::wstring uniqueName(const std::wstring& prefix) {
  static int serial = 0;
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return prefix + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(counter.QuadPart) + L"-" + std::to_wstring(++serial);
}

void removeTree(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..")
        continue;
      std::wstring child = path + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        removeTree(child);
      else
        DeleteFileW(child.c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(path.c_str());
}

std::string systemText(DWORD code) {
  char* text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<char*>(&text),
      0, nullptr);
  std::string result(text ? text : "", n);
  LocalFree(text);
  while (!result.empty() && (result.back() == '\r' || result.back() == '\n'))
    result.pop_back();
  return result;
}

#include "bench/bench_process.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

constexpr wchar_t kBenchFolderName[] = L"tarnic-bench";

int64_t counterFrequency() {
  static int64_t frequency = [] {
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    return value.QuadPart;
  }();
  return frequency;
}

HANDLE openNullDevice(DWORD access) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, /* inherit */ TRUE};
  HANDLE device = CreateFileW(L"NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              OPEN_EXISTING, 0, nullptr);
  if (device == INVALID_HANDLE_VALUE) {
    failBench("CreateFileW(NUL) failed");
  }
  return device;
}

HANDLE startWithHandles(const std::wstring& commandLine, HANDLE output, DWORD flags = 0) {
  static HANDLE input = openNullDevice(GENERIC_READ);
  static HANDLE nullOutput = openNullDevice(GENERIC_WRITE);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output != nullptr ? output : nullOutput;
  startup.hStdError = output != nullptr ? GetStdHandle(STD_ERROR_HANDLE) : nullOutput;
  PROCESS_INFORMATION info{};
  std::wstring line = commandLine;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, /* inherit handles */ TRUE, flags,
                      /* environment */ nullptr, /* current directory */ nullptr, &startup,
                      &info)) {
    failBench("CreateProcessW failed with " + std::to_string(GetLastError()) + " for " +
              narrow(commandLine));
  }
  if ((flags & CREATE_SUSPENDED) != 0) {
    if (!SetProcessAffinityMask(info.hProcess, 1)) {
      failBench("SetProcessAffinityMask failed for " + narrow(commandLine));
    }
    if (ResumeThread(info.hThread) == static_cast<DWORD>(-1)) {
      failBench("ResumeThread failed for " + narrow(commandLine));
    }
  }
  CloseHandle(info.hThread);
  return info.hProcess;
}

}  // namespace

int64_t counterNow() {
  LARGE_INTEGER value;
  QueryPerformanceCounter(&value);
  return value.QuadPart;
}

double microsecondsSince(int64_t start) {
  return static_cast<double>(counterNow() - start) * 1e6 / static_cast<double>(counterFrequency());
}

void failBench(const std::string& what) {
  fprintf(stderr, "tarnic-bench: %s\n", what.c_str());
  exit(1);
}

HANDLE startQuiet(const std::wstring& commandLine) {
  return startWithHandles(commandLine, nullptr);
}

HANDLE startQuietOnOneProcessor(const std::wstring& commandLine) {
  return startWithHandles(commandLine, nullptr, CREATE_SUSPENDED);
}

void keepToOneProcessor() {
  if (!SetProcessAffinityMask(GetCurrentProcess(), 1)) {
    failBench("SetProcessAffinityMask failed");
  }
}

uint32_t finishProcess(HANDLE process) {
  if (WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0) {
    failBench("WaitForSingleObject failed");
  }
  DWORD code = 0;
  if (!GetExitCodeProcess(process, &code)) {
    failBench("GetExitCodeProcess failed");
  }
  CloseHandle(process);
  return code;
}

std::string runSelf(const std::wstring& arguments) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, /* inherit */ TRUE};
  HANDLE readEnd, writeEnd;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
    failBench("CreatePipe failed");
  }
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  HANDLE process = startWithHandles(quoteArgument(ownPath()) + L" " + arguments, writeEnd);
  CloseHandle(writeEnd);
  std::string output;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    output.append(buffer, got);
  }
  CloseHandle(readEnd);
  uint32_t code = finishProcess(process);
  if (code != 0) {
    failBench("measurement \"" + narrow(arguments) + "\" ended with status " +
              std::to_string(code));
  }
  return output;
}

void reportMeasurement(const std::wstring& figure, int round, const std::wstring& arguments) {
  const std::string output = runSelf(arguments);
  size_t start = 0;
  for (size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = output.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    size_t space = line.find(' ');
    if (space == std::string::npos) {
      failBench("malformed measurement line: " + line);
    }
    printf("%s\t%d\t%s\t%s\n", narrow(figure).c_str(), round, line.substr(0, space).c_str(),
           line.substr(space + 1).c_str());
  }
  fflush(stdout);
}

std::string readWholeFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  if (!in) {
    failBench("cannot read " + narrow(path));
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::wstring benchFolder(const std::wstring& name) {
  wchar_t temp[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  if (length == 0 || length > MAX_PATH) {
    failBench("GetTempPathW failed");
  }
  std::wstring root = std::wstring(temp, length) + kBenchFolderName;
  CreateDirectoryW(root.c_str(), nullptr);
  return name.empty() ? root : root + L"\\" + name;
}

void makeEmptyFolder(const std::wstring& path) {
  removeTree(path);
  if (!CreateDirectoryW(path.c_str(), nullptr)) {
    failBench("cannot create " + narrow(path));
  }
}

std::string folderSnapshot(const std::wstring& folder) {
  std::string snapshot;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    return snapshot;
  }
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") {
      continue;
    }
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      snapshot += folderSnapshot(folder + L"\\" + name);
      continue;
    }
    char line[128];
    snprintf(line, sizeof line, " %lu %lu %lu\n", found.nFileSizeLow,
             found.ftLastWriteTime.dwHighDateTime, found.ftLastWriteTime.dwLowDateTime);
    snapshot += narrow(folder + L"\\" + name) + line;
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return snapshot;
}

// The limit of a first start: a program of the launcher's kind (static, importing shell32 as
// the launcher does) that copies the application's files from their folder into an empty one the
// plain way, on one thread, each file read and written in chunks of 1 MiB.
//
//   tarnic-bench-copy <source folder> <target folder>
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

constexpr DWORD kChunkBytes = DWORD{1} << 20;

unsigned char chunk[kChunkBytes];

[[noreturn]] void fail() {
  ExitProcess(1);
}

void copyFile(const std::wstring& source, const std::wstring& target) {
  HANDLE in = CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  HANDLE out = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE) {
    fail();
  }
  for (DWORD got; ReadFile(in, chunk, kChunkBytes, &got, nullptr) && got > 0;) {
    DWORD written;
    if (!WriteFile(out, chunk, got, &written, nullptr) || written != got) {
      fail();
    }
  }
  CloseHandle(in);
  CloseHandle(out);
}

// Every file and folder below `source`, into `target`, which exists.
void copyFolder(const std::wstring& source, const std::wstring& target) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((source + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    fail();
  }
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") {
      continue;
    }
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      if (!CreateDirectoryW((target + L"\\" + name).c_str(), nullptr)) {
        fail();
      }
      copyFolder(source + L"\\" + name, target + L"\\" + name);
    } else {
      copyFile(source + L"\\" + name, target + L"\\" + name);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

}  // namespace

int wmain() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr || count != 3) {
    fail();
  }
  const std::wstring target = arguments[2];
  if (!CreateDirectoryW(target.c_str(), nullptr)) {
    fail();
  }
  copyFolder(arguments[1], target);
  return 0;
}

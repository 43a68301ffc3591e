#include "bench/profile_seams.h"

#include <windows.h>
#include <zlib.h>
#include <zstd.h>

#include "bench/bench_process.h"

namespace {

// In the order of ProfiledCall; bench/report.py reads them by these names.
const char* const kCallNames[kProfiledCallCount] = {
    "decoder", "crc32",      "create_file", "file_size",        "read_file",
    "close",   "write_file", "move_file",   "create_directory",
};

CallTotals totals[kProfiledCallCount];

// Each wrapper looks its system function up on its first call, before its timer starts: the
// runtime's start-up code may call one before static initialisation.
template <typename Function>
Function systemFunction(const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

template <typename Function, typename... Arguments>
auto timed(ProfiledCall call, Function function, Arguments... arguments) {
  int64_t start = counterNow();
  auto result = function(arguments...);
  totals[call].ticks += counterNow() - start;
  ++totals[call].calls;
  return result;
}

HANDLE WINAPI createFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                         DWORD disposition, DWORD attributes, HANDLE source) {
  static const auto real = systemFunction<decltype(&CreateFileW)>("CreateFileW");
  return timed(kCreateFileCall, real, path, access, share, security, disposition, attributes,
               source);
}

BOOL WINAPI fileSize(HANDLE file, PLARGE_INTEGER size) {
  static const auto real = systemFunction<decltype(&GetFileSizeEx)>("GetFileSizeEx");
  return timed(kFileSizeCall, real, file, size);
}

BOOL WINAPI readFile(HANDLE file, LPVOID data, DWORD bytes, LPDWORD read, LPOVERLAPPED overlapped) {
  static const auto real = systemFunction<decltype(&ReadFile)>("ReadFile");
  return timed(kReadFileCall, real, file, data, bytes, read, overlapped);
}

BOOL WINAPI closeHandle(HANDLE handle) {
  static const auto real = systemFunction<decltype(&CloseHandle)>("CloseHandle");
  return timed(kCloseHandleCall, real, handle);
}

BOOL WINAPI writeFile(HANDLE file, LPCVOID data, DWORD bytes, LPDWORD written,
                      LPOVERLAPPED overlapped) {
  static const auto real = systemFunction<decltype(&WriteFile)>("WriteFile");
  return timed(kWriteFileCall, real, file, data, bytes, written, overlapped);
}

BOOL WINAPI moveFile(LPCWSTR from, LPCWSTR to, DWORD flags) {
  static const auto real = systemFunction<decltype(&MoveFileExW)>("MoveFileExW");
  return timed(kMoveFileCall, real, from, to, flags);
}

BOOL WINAPI createDirectory(LPCWSTR path, LPSECURITY_ATTRIBUTES security) {
  static const auto real = systemFunction<decltype(&CreateDirectoryW)>("CreateDirectoryW");
  return timed(kCreateDirectoryCall, real, path, security);
}

}  // namespace

extern "C" {
decltype(&createFile) __imp_CreateFileW = createFile;
decltype(&fileSize) __imp_GetFileSizeEx = fileSize;
decltype(&readFile) __imp_ReadFile = readFile;
decltype(&closeHandle) __imp_CloseHandle = closeHandle;
decltype(&writeFile) __imp_WriteFile = writeFile;
decltype(&moveFile) __imp_MoveFileExW = moveFile;
decltype(&createDirectory) __imp_CreateDirectoryW = createDirectory;

size_t __real_ZSTD_decompressStream(ZSTD_DStream* decoder, ZSTD_outBuffer* output,
                                    ZSTD_inBuffer* input);
size_t __wrap_ZSTD_decompressStream(ZSTD_DStream* decoder, ZSTD_outBuffer* output,
                                    ZSTD_inBuffer* input) {
  return timed(kDecoderCall, __real_ZSTD_decompressStream, decoder, output, input);
}

uLong __real_crc32(uLong crc, const Bytef* bytes, uInt count);
uLong __wrap_crc32(uLong crc, const Bytef* bytes, uInt count) {
  return timed(kCrcCall, __real_crc32, crc, bytes, count);
}
}

void resetProfile() {
  for (CallTotals& call : totals) {
    call.ticks = 0;
    call.calls = 0;
  }
}

const CallTotals& callTotals(ProfiledCall call) {
  return totals[call];
}

const char* callName(ProfiledCall call) {
  return kCallNames[call];
}

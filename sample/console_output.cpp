#include "sample/console_output.h"

#include <algorithm>
#include <climits>

namespace {

// Console and pipe writes both take a DWORD count; large texts go in pieces of this size.
constexpr size_t kWriteChunk = 16384;

void writeConsole(HANDLE console, const std::wstring& text) {
  for (size_t done = 0; done < text.size();) {
    DWORD count = static_cast<DWORD>(std::min(kWriteChunk, text.size() - done));
    DWORD written = 0;
    if (!WriteConsoleW(console, text.data() + done, count, &written, nullptr) || written == 0)
      return;
    done += written;
  }
}

void writeBytes(HANDLE file, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    DWORD count = static_cast<DWORD>(std::min(kWriteChunk, bytes.size() - done));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, count, &written, nullptr) || written == 0)
      return;
    done += written;
  }
}

}  // namespace

void writeText(DWORD which, const std::wstring& text) {
  HANDLE handle = GetStdHandle(which);
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode))
    writeConsole(handle, text);
  else
    writeBytes(handle, toUtf8(text));
}

std::string toUtf8(const std::wstring& text) {
  if (text.empty() || text.size() > INT_MAX)
    return {};
  int length = static_cast<int>(text.size());
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string utf8(bytes, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), length, utf8.data(), bytes, nullptr, nullptr);
  return utf8;
}

std::wstring fromUtf8(const std::string& bytes) {
  if (bytes.empty() || bytes.size() > INT_MAX)
    return {};
  int length = static_cast<int>(bytes.size());
  int units = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, nullptr, 0);
  std::wstring wide(units, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, wide.data(), units);
  return wide;
}

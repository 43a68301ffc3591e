#include "diagnostics/fatal.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "diagnostics/fatal_output.h"

namespace {

// The system text is always asked for in English (United States).
constexpr DWORD kMessageLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr DWORD kProcessorFeatureFastFail = 23;  // PF_FASTFAIL_AVAILABLE
constexpr unsigned kFastFailFatalAppExit = 7;    // FAST_FAIL_FATAL_APP_EXIT

// Both messages that name a path go to standard error, which the writers hand over at once.
[[noreturn]] void writePathMessage(const char* before, const wchar_t* path, const char* after,
                                   bool abnormal) {
  writeFatalPathLine(before, path, after);
  if (abnormal) {
    endAbnormally();
  }
  exit(kFailureExitStatus);
}

}  // namespace

void endAbnormally() {
  if (IsProcessorFeaturePresent(kProcessorFeatureFastFail)) {
    // What __fastfail(FAST_FAIL_FATAL_APP_EXIT) emits; this compiler's headers lack it.
    __asm__ volatile("int $0x29" : : "c"(kFastFailFatalAppExit) : "memory");
  }
  _exit(kAbnormalExitStatus);
}

size_t trimTrailingLineBreaks(char* text, size_t length) {
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n')) {
    text[--length] = '\0';
  }
  return length;
}

void reportSystemError(const char* message, uint32_t code) {
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      /* source */ nullptr, code, kMessageLanguage, reinterpret_cast<char*>(&text),
      /* minimum size */ 0, /* arguments */ nullptr);
  // No text for the code: the line keeps an empty text field. The buffer is never released,
  // as the process ends right after.
  if (length == 0 || text == nullptr) {
    text = const_cast<char*>("");
  } else {
    trimTrailingLineBreaks(text, length);
  }
  writeFatalLine(FatalStream::kError, "%s ([Error %ld] %s)\n", message,
                 static_cast<long>(static_cast<int32_t>(code)), text);
}

void failWithMessage(const char* message) {
  writeFatalLine(FatalStream::kOutput, "%s\n", message);
  exit(kFailureExitStatus);
}

void failWithSystemError(const char* message, uint32_t code) {
  reportSystemError(message, code);
  exit(kFailureExitStatus);
}

void failOpenForWriting(const wchar_t* destinationPath) {
  writePathMessage("Error, failed to open '", destinationPath, "' for writing.", false);
}

void failSpecExpansion(const wchar_t* spec) {
  writePathMessage("Error, couldn't runtime expand spec '", spec, "'.", true);
}

void failHeaderMissing() {
  failWithMessage("Error, couldn't find attached data header.");
}
void failOutOfMemory() {
  failWithMessage("Error, couldn't allocate memory.");
}
void failDecode() {
  failWithMessage("Error, couldn't decode attached data.");
}
void failRegisterHandler() {
  failWithMessage("Error, failed to register signal handler.");
}

void failUnpack() {
  failWithSystemError("Error, couldn't unpack file to target path.", GetLastError());
}

void failLaunch(uint32_t code) {
  failWithSystemError("Error, couldn't launch child", code);
}

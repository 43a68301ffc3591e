// Fatal failures: every way the launcher ends other than with its child's exit code.
// None of these returns except reportSystemError. Messages are narrow ASCII; paths are wide.
#pragma once

#include <cstddef>
#include <cstdint>

// Exit status of every reported failure.
constexpr int kFailureExitStatus = 2;
// Exit status of the abnormal end where the processor offers no fail-fast.
constexpr int kAbnormalExitStatus = 3;

// Ends the process at once, writing nothing, running no exit handler and flushing no stream:
// a fail-fast with FAST_FAIL_FATAL_APP_EXIT (status 0xC0000409) where the processor offers it,
// else exit status 3. Every exceeded bound and every failed conversion ends this way.
[[noreturn]] void endAbnormally();

// Writes "<message> ([Error <code>] <system text>)" and a line break to standard error, the
// code as a signed decimal and the system text in English without its trailing line breaks.
void reportSystemError(const char* message, uint32_t code);

// Writes the message and a line break to standard output; exit status 2.
[[noreturn]] void failWithMessage(const char* message);
// reportSystemError with both arguments; exit status 2.
[[noreturn]] void failWithSystemError(const char* message, uint32_t code);
// Names the payload entry's destination path that could not be created; exit status 2.
[[noreturn]] void failOpenForWriting(const wchar_t* destinationPath);
// Names the template (unexpanded) that could not be expanded; then the abnormal end.
[[noreturn]] void failSpecExpansion(const wchar_t* spec);

// One shortcut per fixed message, so that call sites stay one line.
[[noreturn]] void failHeaderMissing();
[[noreturn]] void failOutOfMemory();
[[noreturn]] void failDecode();
[[noreturn]] void failRegisterHandler();
// Takes the code from GetLastError itself: call it right after the failed write.
[[noreturn]] void failUnpack();
[[noreturn]] void failLaunch(uint32_t code);

// Cuts every trailing CR and LF off the first `length` characters of `text` by writing NULs;
// line breaks inside the text stay. Returns the remaining length.
size_t trimTrailingLineBreaks(char* text, size_t length);

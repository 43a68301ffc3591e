// Text output that stays readable whatever the standard handles are.
#pragma once

#include <windows.h>

#include <string>

// Writes `text` to the standard handle `which` (STD_OUTPUT_HANDLE or STD_ERROR_HANDLE): wide
// characters straight to a console, UTF-8 bytes to anything else (a pipe, a file). A failed
// write is dropped: the program has no other place to report it.
void writeText(DWORD which, const std::wstring& text);

// The same text as UTF-8; lone surrogates become U+FFFD.
std::string toUtf8(const std::wstring& text);

// UTF-8 bytes as wide text; invalid sequences become U+FFFD.
std::wstring fromUtf8(const std::string& bytes);

// Checking the main program before it goes into a launcher, which could only fail to start it
// on the user's machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The bytes of a main program that inspectMainProgram needs at most: its headers.
constexpr size_t kProgramHeadBytes = 64 * 1024;

struct MainProgram {
  std::string problem;    // "" when a launcher can start it, else what the file is instead
  bool windowed = false;  // a program of the Windows GUI subsystem
};

// Inspects a file of `fileBytes` bytes from its first `headBytes` bytes at `head` (all of them
// up to kProgramHeadBytes). A launcher starts 64-bit x64 Windows programs only: PE32+ images
// of machine 0x8664 that are executable and not DLLs, whose sections lie inside the file. The
// problem names what the file is: empty, not a Windows program, a DOS program, a 32-bit
// program, a program for another processor, a DLL, a program cut short.
MainProgram inspectMainProgram(const unsigned char* head, size_t headBytes, uint64_t fileBytes);

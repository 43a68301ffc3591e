// The progress window of a long first start, one file per kind of launcher, chosen by the build:
// a windowed launcher whose options ask for it (kProgressWindowOption) shows it when a start
// still unpacks kProgressDelayMilliseconds after the process began (progress_window_windowed.cpp);
// a console launcher, and every test program, has none (progress_window_console.cpp).
//
// The window lives on a thread of its own, which the first call of beginProgress starts: a
// start that writes nothing starts no thread, registers no window class and loads no DLL for
// it. Nothing here waits for the window but closeProgressWindow, and nothing fails for it: a
// window that cannot be shown (no desktop, a refused class, a missing function) leaves the start
// as it would be without it.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr DWORD kProgressDelayMilliseconds = 500;

// The unpacking of this start must write `bytes` (> 0) bytes, before the first of them.
void beginProgress(uint64_t bytes);

// The unpacking has written `bytes` more of them. Costs one relaxed atomic addition.
void addProgress(uint64_t bytes);

// The program has started as `process` (which the caller keeps): the window closes as soon as
// the program is ready for input or has ended, and a window not yet shown is never shown.
void closeProgressWhenReady(HANDLE process);

// Closes the window now, before a fatal message box, and waits a bounded time for it to be gone.
void closeProgressWindow();

// Clocks, processes and folders for the benchmark program. Every failure ends the benchmark:
// a figure measured on a broken path is worse than none.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// quoteArgument, ownPath, widen, narrow, removeTree
#include "tests/support/process.h"

// A QueryPerformanceCounter reading, and the microseconds elapsed since one.
int64_t counterNow();
double microsecondsSince(int64_t start);

// Writes "tarnic-bench: <what>" to standard error and ends with exit status 1.
[[noreturn]] void failBench(const std::string& what);

// Starts `commandLine` (the program first) with its standard handles on the null device, as a
// launcher started from a script with no console output would be.
HANDLE startQuiet(const std::wstring& commandLine);

// The same with the process, and what it starts, held to the first processor from before its
// first instruction: a launcher then verifies its files on one thread.
HANDLE startQuietOnOneProcessor(const std::wstring& commandLine);

// Holds this process, and what it starts from now on, to the first processor.
void keepToOneProcessor();

// Waits for `process`, closes it and returns its exit code.
uint32_t finishProcess(HANDLE process);

// Starts this program again with `arguments` and returns what it wrote to standard output;
// fails unless it ends with status 0. Every measurement of the payload code runs this way,
// since that code keeps process-wide state.
std::string runSelf(const std::wstring& arguments);

// runSelf with `arguments`, whose output holds "<key> <value>" lines; writes each as
// "<figure>\t<round>\t<key>\t<value>" to standard output.
void reportMeasurement(const std::wstring& figure, int round, const std::wstring& arguments);

// The bytes of a whole file.
std::string readWholeFile(const std::wstring& path);

// %TEMP%\tarnic-bench\<name>: every folder the benchmark writes lies below it.
std::wstring benchFolder(const std::wstring& name);

// Makes `path` an empty folder.
void makeEmptyFolder(const std::wstring& path);

// Names, sizes and last-write times of every file below `folder`: equal snapshots mean that
// nothing was written in between. Empty when the folder does not exist.
std::string folderSnapshot(const std::wstring& folder);

#include "bench/launch_bench.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>

#include "bench/bench_process.h"

namespace {

// How often the memory of a running launcher is read (see watchMemory).
constexpr DWORD kMemorySampleMs = 1;

struct MemoryFigures {
  uint64_t peakWorkingSet = 0;
  uint64_t peakPagefile = 0;
  bool readAfterEnd = false;
};

void printFigure(const wchar_t* figure, int round, const char* key, double value) {
  printf("%s\t%d\t%s\t%.1f\n", narrow(figure).c_str(), round, key, value);
  fflush(stdout);
}

void expectSuccess(const std::wstring& program, uint32_t code) {
  if (code != 0) {
    failBench(narrow(program) + " ended with status " + std::to_string(code));
  }
}

// Wall time from CreateProcessW to the end of the process it started, on every processor or on
// the first alone.
double timeStart(const std::wstring& program, bool oneProcessor = false) {
  int64_t start = counterNow();
  HANDLE process = oneProcessor ? startQuietOnOneProcessor(quoteArgument(program))
                                : startQuiet(quoteArgument(program));
  WaitForSingleObject(process, INFINITE);
  double microseconds = microsecondsSince(start);
  expectSuccess(program, finishProcess(process));
  return microseconds;
}

bool readMemory(HANDLE process, PROCESS_MEMORY_COUNTERS* counters) {
  *counters = PROCESS_MEMORY_COUNTERS{};
  counters->cb = sizeof *counters;
  return GetProcessMemoryInfo(process, counters, sizeof *counters);
}

void takePeaks(const PROCESS_MEMORY_COUNTERS& counters, MemoryFigures* figures) {
  figures->peakWorkingSet =
      std::max<uint64_t>(figures->peakWorkingSet, counters.PeakWorkingSetSize);
  figures->peakPagefile = std::max<uint64_t>(figures->peakPagefile, counters.PeakPagefileUsage);
}

// Windows keeps an ended process's counters for its handle, true peaks both. Wine reads them
// from the host process while it exists: its peak working set is the kernel's high-water mark,
// but its "peak" page-file figure is the resident private memory of the moment, so the largest
// reading taken while the launcher runs stands in for it.
MemoryFigures watchMemory(const std::wstring& program) {
  MemoryFigures figures;
  HANDLE process = startQuiet(quoteArgument(program));
  PROCESS_MEMORY_COUNTERS counters;
  while (WaitForSingleObject(process, kMemorySampleMs) == WAIT_TIMEOUT) {
    if (readMemory(process, &counters)) {
      takePeaks(counters, &figures);
    }
  }
  if (readMemory(process, &counters) && counters.PeakWorkingSetSize != 0) {
    takePeaks(counters, &figures);
    figures.readAfterEnd = true;
  }
  expectSuccess(program, finishProcess(process));
  if (figures.peakWorkingSet == 0) {
    failBench("no memory reading of " + narrow(program));
  }
  return figures;
}

void printMemory(const wchar_t* figure, int round, const MemoryFigures& memory) {
  printFigure(figure, round, "peak_working_set_bytes", static_cast<double>(memory.peakWorkingSet));
  printFigure(figure, round, "peak_pagefile_bytes", static_cast<double>(memory.peakPagefile));
  printFigure(figure, round, "read_after_end", memory.readAfterEnd ? 1 : 0);
}

}  // namespace

void runLaunchSuite(const std::wstring& child, const std::wstring& shellChild,
                    const std::wstring& launcher, const std::wstring& tinyLauncher, int runs) {
  const std::wstring target = benchFolder(kLauncherTarget);
  const std::wstring tinyTarget = benchFolder(kTinyLauncherTarget);
  for (int round = 1; round <= runs; ++round) {
    printFigure(L"bare-start", round, "microseconds", timeStart(child));
    printFigure(L"shell-start", round, "microseconds", timeStart(shellChild));
    removeTree(tinyTarget);
    printFigure(L"tiny-first", round, "microseconds", timeStart(tinyLauncher));
    printFigure(L"tiny-second", round, "microseconds", timeStart(tinyLauncher));
    printFigure(L"tiny-second-one", round, "microseconds", timeStart(tinyLauncher, true));
    removeTree(target);
    printFigure(L"launcher-first", round, "microseconds", timeStart(launcher));
    std::string unpacked = folderSnapshot(target);
    if (unpacked.empty()) {
      failBench("the launcher's first start unpacked nothing into " + narrow(target));
    }
    printFigure(L"launcher-second", round, "microseconds", timeStart(launcher));
    printFigure(L"launcher-second-one", round, "microseconds", timeStart(launcher, true));
    if (folderSnapshot(target) != unpacked) {
      failBench("the launcher's second start rewrote files: the reuse path was not measured");
    }
    removeTree(target);
    printMemory(L"memory-first", round, watchMemory(launcher));
    printMemory(L"memory-second", round, watchMemory(launcher));
    printMemory(L"memory-tiny", round, watchMemory(tinyLauncher));
  }
  removeTree(target);
  removeTree(tinyTarget);
}

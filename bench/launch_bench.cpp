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
  uint64_t privateUsage = 0;
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

// Wall time from CreateProcessW to the end of the process it started with `line`, on every
// processor or on the first alone.
double timeCommand(const std::wstring& line, bool oneProcessor = false) {
  int64_t start = counterNow();
  HANDLE process = oneProcessor ? startQuietOnOneProcessor(line) : startQuiet(line);
  WaitForSingleObject(process, INFINITE);
  double microseconds = microsecondsSince(start);
  expectSuccess(line, finishProcess(process));
  return microseconds;
}

double timeStart(const std::wstring& program, bool oneProcessor = false) {
  return timeCommand(quoteArgument(program), oneProcessor);
}

// The plain copy of the application's files into the emptied `target`.
void timeCopy(const PlainCopy& copy, const std::wstring& target, int round) {
  removeTree(target);
  printFigure(L"copy-first", round, "microseconds",
              timeCommand(quoteArgument(copy.copier) + L" " + quoteArgument(copy.app) + L" " +
                          quoteArgument(target)));
}

bool readMemory(HANDLE process, PROCESS_MEMORY_COUNTERS_EX* counters) {
  *counters = PROCESS_MEMORY_COUNTERS_EX{};
  counters->cb = sizeof *counters;
  return GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(counters),
                              sizeof *counters);
}

void takePeaks(const PROCESS_MEMORY_COUNTERS_EX& counters, MemoryFigures* figures) {
  figures->peakWorkingSet =
      std::max<uint64_t>(figures->peakWorkingSet, counters.PeakWorkingSetSize);
  figures->peakPagefile = std::max<uint64_t>(figures->peakPagefile, counters.PeakPagefileUsage);
  figures->privateUsage = std::max<uint64_t>(figures->privateUsage, counters.PrivateUsage);
}

// Windows keeps an ended process's counters for its handle, true peaks both. Wine reads them
// from the host process while it exists: its peak working set is the kernel's high-water mark,
// but its "peak" page-file figure is the resident private memory of the moment, so the largest
// reading taken while the launcher runs stands in for it. Private usage is of the moment on
// both: the largest reading.
MemoryFigures watchMemory(const std::wstring& program) {
  MemoryFigures figures;
  HANDLE process = startQuiet(quoteArgument(program));
  PROCESS_MEMORY_COUNTERS_EX counters;
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
  printFigure(figure, round, "private_usage_bytes", static_cast<double>(memory.privateUsage));
  printFigure(figure, round, "read_after_end", memory.readAfterEnd ? 1 : 0);
}

// A first start into the emptied `target`, a second start and a second start on one processor
// of `launcher`, as figures "<name>-first", "<name>-second" and "<name>-second-one".
void timeStarts(const std::wstring& name, const std::wstring& launcher, const std::wstring& target,
                int round) {
  removeTree(target);
  printFigure((name + L"-first").c_str(), round, "microseconds", timeStart(launcher));
  std::string unpacked = folderSnapshot(target);
  if (unpacked.empty()) {
    failBench("the first start of " + narrow(launcher) + " unpacked nothing into " +
              narrow(target));
  }
  printFigure((name + L"-second").c_str(), round, "microseconds", timeStart(launcher));
  printFigure((name + L"-second-one").c_str(), round, "microseconds", timeStart(launcher, true));
  if (folderSnapshot(target) != unpacked) {
    failBench("the second start of " + narrow(launcher) +
              " rewrote files: the reuse path was not measured");
  }
}

}  // namespace

void runLaunchSuite(const std::wstring& child, const std::wstring& shellChild,
                    const std::wstring& launcher, const std::wstring& tinyLauncher,
                    const PlainCopy& copy, const std::wstring& baseline, int runs) {
  const std::wstring target = benchFolder(kLauncherTarget);
  const std::wstring tinyTarget = benchFolder(kTinyLauncherTarget);
  const std::wstring copyTarget = benchFolder(kCopyTarget);
  for (int round = 1; round <= runs; ++round) {
    printFigure(L"bare-start", round, "microseconds", timeStart(child));
    printFigure(L"shell-start", round, "microseconds", timeStart(shellChild));
    removeTree(tinyTarget);
    printFigure(L"tiny-first", round, "microseconds", timeStart(tinyLauncher));
    printFigure(L"tiny-second", round, "microseconds", timeStart(tinyLauncher));
    printFigure(L"tiny-second-one", round, "microseconds", timeStart(tinyLauncher, true));
    // The launcher and its baseline take turns at going first, so that neither always meets
    // what the other left in the system's caches.
    // So do the launcher and the plain copy of its files.
    const bool baselineFirst = !baseline.empty() && round % 2 == 0;
    if (round % 2 == 1) {
      timeCopy(copy, copyTarget, round);
    }
    if (baselineFirst) {
      timeStarts(L"baseline", baseline, target, round);
    }
    timeStarts(L"launcher", launcher, target, round);
    if (!baseline.empty() && !baselineFirst) {
      timeStarts(L"baseline", baseline, target, round);
    }
    if (round % 2 == 0) {
      timeCopy(copy, copyTarget, round);
    }
    removeTree(target);
    printMemory(L"memory-first", round, watchMemory(launcher));
    printMemory(L"memory-second", round, watchMemory(launcher));
    if (!baseline.empty()) {
      removeTree(target);
      printMemory(L"baseline-memory-first", round, watchMemory(baseline));
    }
    printMemory(L"memory-tiny", round, watchMemory(tinyLauncher));
  }
  removeTree(target);
  removeTree(tinyTarget);
  removeTree(copyTarget);
}

void runWindowSuite(const std::wstring& withWindow, const std::wstring& withoutWindow,
                    const std::wstring& baseline, int runs) {
  const std::wstring target = benchFolder(kLauncherTarget);
  for (int round = 1; round <= runs; ++round) {
    const bool windowFirst = round % 2 == 1;
    for (const bool window : {windowFirst, !windowFirst}) {
      removeTree(target);
      printFigure(window ? L"window-first" : L"window-none-first", round, "microseconds",
                  timeStart(window ? withWindow : withoutWindow));
    }
    for (const bool window : {windowFirst, !windowFirst}) {
      printFigure(window ? L"window-second" : L"window-baseline-second", round, "microseconds",
                  timeStart(window ? withWindow : baseline));
    }
  }
  removeTree(target);
}

void runUpdateSuite(const std::wstring& first, const std::wstring& second,
                    const std::wstring& firstVersioned, const std::wstring& secondVersioned,
                    int runs) {
  const std::wstring target = benchFolder(kUpdateTarget);
  const std::wstring versions = benchFolder(kVersionsTarget);
  const std::wstring firstFolder = versions + L"\\" + kFirstVersion;
  const std::wstring secondFolder = versions + L"\\" + kSecondVersion;
  removeTree(target);
  removeTree(versions);
  timeStart(firstVersioned);
  const std::string firstFiles = folderSnapshot(firstFolder);
  if (firstFiles.empty()) {
    failBench(narrow(firstVersioned) + " unpacked nothing into " + narrow(firstFolder));
  }
  for (int round = 1; round <= runs; ++round) {
    timeStart(first);
    const std::string restored = folderSnapshot(target);
    printFigure(L"update-second", round, "microseconds", timeStart(first));
    printFigure(L"update-in-place", round, "microseconds", timeStart(second));
    if (folderSnapshot(target) == restored) {
      failBench(narrow(second) + " wrote nothing over version 1: no update was measured");
    }
    removeTree(secondFolder);
    printFigure(L"update-new-version", round, "microseconds", timeStart(secondVersioned));
    if (folderSnapshot(secondFolder).empty()) {
      failBench(narrow(secondVersioned) + " unpacked nothing into " + narrow(secondFolder));
    }
    if (folderSnapshot(firstFolder) != firstFiles) {
      failBench(narrow(secondVersioned) + " changed version 1's files");
    }
  }
  removeTree(target);
}

void runVersionsSuite(const std::wstring* kept, const std::wstring* all, int runs) {
  const std::wstring keptFolder = benchFolder(kKeptTarget);
  const std::wstring allFolder = benchFolder(kAllKeptTarget);
  for (int round = 1; round <= runs; ++round) {
    removeTree(keptFolder);
    removeTree(allFolder);
    const bool keptFirst = round % 2 == 1;
    for (int version = 0; version < kBenchVersions; ++version) {
      for (const bool keeping : {keptFirst, !keptFirst}) {
        const double took = timeStart(keeping ? kept[version] : all[version]);
        if (version > 0) {
          printFigure(keeping ? L"versions-kept-first" : L"versions-all-first", round,
                      "microseconds", took);
        }
      }
    }
  }
}

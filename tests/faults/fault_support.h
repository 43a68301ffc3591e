// What the fault tests share: the application the launchers carry, folders of their own, and
// starts of a launcher with a chosen temporary directory.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"

// One file of the application folder: its name relative to the folder (backslashes) and bytes.
struct AppFile {
  std::wstring name;
  std::string data;
};

// The application every fault-test launcher carries, read once from the folder beside the
// test program, in no particular order.
const std::vector<AppFile>& applicationFiles();
// The bytes that all files of the application hold together.
uint64_t applicationBytes();

void writeWholeFile(const std::wstring& path, const std::string& data);

// Success when `target` holds every application file byte for byte and nothing else.
testing::AssertionResult holdsTheApplication(const std::wstring& target);

// Writes every application file below `target`, as a start before would have.
void placeTheApplication(const std::wstring& target);

// A new, empty folder below this test program's own scratch folder, which is removed when the
// program ends.
std::wstring freshFolder(const std::wstring& leaf);

// Starts `exe` with its own path as the only argument and TMP and TEMP set to `temp`, and waits
// for it (at most `timeoutMs`).
Launch launchWithTemp(const std::wstring& exe, const std::wstring& temp, DWORD timeoutMs = 120000);

// The target directory of the launchers with the target spec "{TEMP}\faults\bulky".
std::wstring bulkyTarget(const std::wstring& temp);

// The size of the file at `path`, 0 when there is none.
uint64_t sizeOnDisk(const std::wstring& path);

// A launcher running with its standard handles on the null device, not waited for until this
// goes. It is let run to its end, which comes soon since its child ends at once: terminating it
// at a moment not chosen could hit it while it starts its child.
struct RunningLauncher {
  HANDLE process = nullptr;
  HANDLE thread = nullptr;

  ~RunningLauncher();
  // True also for one that could not be started.
  bool hasEnded() const;
};

// Suspends or resumes every thread of the launcher, so that nothing of it moves meanwhile.
void suspendLauncher(const RunningLauncher& launcher);
void resumeLauncher(const RunningLauncher& launcher);

// Starts `exe` with its own path as the only argument; with TMP and TEMP set to `temp` unless
// it is empty (the variables stay set in this process).
void startLauncher(const std::wstring& exe, const std::wstring& temp, RunningLauncher* launcher);

// Partial files of an application file: the bytes they hold and how many there are.
struct PartialFiles {
  uint64_t bytes = 0;
  size_t count = 0;
};
PartialFiles partialFilesOf(const std::wstring& path);

// How far a start has come: the bytes of the application's files below `target`, complete or
// still under their partial names.
uint64_t bytesUnpacked(const std::wstring& target);

// Waits until a start has made `first` (the target's first file), under its partial name or its
// own, the moment its unpacking starts. False when the launcher ended before it was seen.
bool waitForUnpackingToStart(const RunningLauncher& launcher, const std::wstring& first);

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

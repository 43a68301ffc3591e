#include "paths/target_directory.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <string>

#include "paths/path_buffer.h"
#include "tests/support/probe.h"
#include "tests/support/process.h"

namespace {

std::wstring tempFolder() {
  wchar_t path[MAX_PATH];
  DWORD length = GetTempPathW(MAX_PATH, path);
  return std::wstring(path, length > 0 && path[length - 1] == L'\\' ? length - 1 : length);
}

}  // namespace

TARNIC_PROBE(target_leaving_its_start_folder) {
  static wchar_t directory[kPathUnits];
  prepareTargetDirectory(directory, L"{TEMP}\\app\\..\\..\\elsewhere");
}

TEST(PrepareTargetDirectory, KeepsAPathThatStaysInTheFolderItStartsFrom) {
  static wchar_t directory[kPathUnits];
  prepareTargetDirectory(directory, L"{TEMP}\\app\\..\\other\\.\\x");
  EXPECT_EQ(std::wstring(directory), tempFolder() + L"\\other\\x");
  // The folder itself, reached from above.
  const std::wstring leaf = tempFolder().substr(tempFolder().rfind(L'\\') + 1);
  prepareTargetDirectory(directory, (L"{TEMP}\\..\\" + leaf).c_str());
  EXPECT_EQ(std::wstring(directory), tempFolder());
}

TEST(PrepareTargetDirectory, EndsWithTheSpecMessageWhenThePathLeavesTheFolderItStartsFrom) {
  ProcessResult r = runProbe("target_leaving_its_start_folder");
  EXPECT_EQ(r.err, "Error, couldn't runtime expand spec '{TEMP}\\app\\..\\..\\elsewhere'.\r\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.exitCode, kFastFailStatus);
}

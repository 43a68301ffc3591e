#include "paths/target_directory.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <string>

#include "paths/path_buffer.h"
#include "paths/system_paths.h"
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

// Text right after {TEMP} is part of the temporary folder's last name, so its ".." leaves it.
TARNIC_PROBE(target_leaving_by_the_tokens_own_name) {
  static wchar_t directory[kPathUnits];
  prepareTargetDirectory(directory, L"{TEMP}x\\..\\y");
}

// A name of dots that the system may read as ".." (Wine makes "x\\..\\y" of "x\\...\\y").
TARNIC_PROBE(target_with_a_name_of_dots) {
  static wchar_t directory[kPathUnits];
  prepareTargetDirectory(directory, L"{TEMP}\\x\\...\\y");
}

TEST(PrepareTargetDirectory, KeepsAPathThatStaysInTheFolderItStartsFrom) {
  static wchar_t directory[kPathUnits];
  prepareTargetDirectory(directory, L"{TEMP}\\app\\..\\other\\.\\x");
  EXPECT_EQ(std::wstring(directory), tempFolder() + L"\\other\\x");
  // The folder itself, reached from above.
  const std::wstring leaf = tempFolder().substr(tempFolder().rfind(L'\\') + 1);
  prepareTargetDirectory(directory, (L"{TEMP}\\..\\" + leaf).c_str());
  EXPECT_EQ(std::wstring(directory), tempFolder());
  // Beside it, under a name that goes on from its own.
  prepareTargetDirectory(directory, L"{TEMP}-t\\x\\..\\X");
  EXPECT_EQ(std::wstring(directory), tempFolder() + L"-t\\X");
  prepareTargetDirectory(directory, L"{TEMP}x\\X");
  EXPECT_EQ(std::wstring(directory), tempFolder() + L"x\\X");
  const std::wstring program = getOwnExecutablePath();
  prepareTargetDirectory(directory, L"{PROGRAM}.d");
  EXPECT_EQ(std::wstring(directory), program + L".d");
  prepareTargetDirectory(directory, L"{PROGRAM_BASE}_data");
  EXPECT_EQ(std::wstring(directory), program.substr(0, program.size() - 4) + L"_data");
}

TEST(PrepareTargetDirectory, EndsWithTheSpecMessageWhenThePathLeavesTheFolderItStartsFrom) {
  ProcessResult r = runProbe("target_leaving_its_start_folder");
  EXPECT_EQ(r.err, "Error, couldn't runtime expand spec '{TEMP}\\app\\..\\..\\elsewhere'.\r\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.exitCode, kFastFailStatus);
  r = runProbe("target_leaving_by_the_tokens_own_name");
  EXPECT_EQ(r.err, "Error, couldn't runtime expand spec '{TEMP}x\\..\\y'.\r\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.exitCode, kFastFailStatus);
}

// The system's full path of a target is held to the folder too, where it reads names otherwise
// than as written.
TEST(PrepareTargetDirectory, EndsWithTheSpecMessageWhereTheSystemMakesADotDotName) {
  wchar_t full[MAX_PATH];
  const std::wstring written = tempFolder() + L"\\x\\...\\y";
  ASSERT_NE(GetFullPathNameW(written.c_str(), MAX_PATH, full, nullptr), 0u);
  ProcessResult r = runProbe("target_with_a_name_of_dots");
  if (std::wstring(full).find(L"\\..\\") == std::wstring::npos) {
    EXPECT_EQ(r.exitCode, 0u) << "the system keeps the name: " << r.err;
    return;
  }
  EXPECT_EQ(r.err, "Error, couldn't runtime expand spec '{TEMP}\\x\\...\\y'.\r\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.exitCode, kFastFailStatus);
}

#include "paths/system_paths.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "paths/expand_spec.h"
#include "tests/support/probe.h"
#include "tests/support/process.h"
#include "tests/support/system_seams.h"

namespace {

std::wstring currentDirectory() {
  wchar_t buffer[kPathUnits];
  GetCurrentDirectoryW(kPathUnits, buffer);
  return buffer;
}

// A full path of exactly `units` characters below C:\.
std::wstring pathOfLength(size_t units) {
  std::wstring path = L"C:";
  while (path.size() + 101 <= units)
    path += L"\\" + std::wstring(100, L'd');
  if (path.size() < units)
    path += L"\\" + std::wstring(units - path.size() - 1, L'f');
  return path;
}

wchar_t targetDirectory[kPathUnits];

void normalize(const std::wstring& path) {
  wcscpy(targetDirectory, path.c_str());
  normalizeTargetDirectory(targetDirectory);
}

// A known folder reported at the root of a drive, or with `S_FALSE`.
void reportFolder(const wchar_t* path, HRESULT result = S_OK) {
  overrideKnownFolder([path, result](int, wchar_t* out) {
    wcscpy(out, path);
    return result;
  });
}

}  // namespace

TARNIC_PROBE(normalize_empty) {
  normalize(L"");
}
TARNIC_PROBE(normalize_4096) {
  normalize(pathOfLength(kPathUnits));
}
// Each asks for the own path in a process of its own, which has not asked yet.
TARNIC_PROBE(own_path_of_4096) {
  const std::wstring path = pathOfLength(kOwnPathUnits - 1);
  reportModuleFileName(path);
  fputs(getOwnExecutablePath() == path ? "whole" : "cut", stdout);
}
TARNIC_PROBE(own_path_of_4097) {
  reportModuleFileName(pathOfLength(kOwnPathUnits));
  getOwnExecutablePath();
}
TARNIC_PROBE(known_folder_one_unit_over) {
  reportFolder(L"X:\\Data");
  wchar_t buffer[16] = L"abc";
  // "abc" + "X:\Data" + NUL = 11 units.
  appendKnownFolder(buffer, CSIDL_LOCAL_APPDATA, 10);
}

TEST(NormalizeTargetDirectory, MakesRelativeAndDottedPathsAbsolute) {
  normalize(L"cache\\app");
  EXPECT_EQ(std::wstring(targetDirectory), currentDirectory() + L"\\cache\\app");
  normalize(L"D:/x/../y");
  EXPECT_EQ(std::wstring(targetDirectory), L"D:\\y");
  normalize(L"C:\\a\\.\\b\\");
  EXPECT_EQ(std::wstring(targetDirectory), L"C:\\a\\b\\");
}

TEST(NormalizeTargetDirectory, AcceptsAFullPathOf4095UnitsAndEndsAbnormallyAt4096) {
  std::wstring longest = pathOfLength(kPathUnits - 1);
  normalize(longest);
  EXPECT_EQ(std::wstring(targetDirectory), longest);

  ProcessResult r = runProbe("normalize_4096");
  EXPECT_EQ(r.exitCode, kFastFailStatus);
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_EQ(runProbe("normalize_empty").exitCode, kFastFailStatus);
}

TEST(GetOwnExecutablePath, ReturnsTheLongModulePathFromOneCache) {
  const wchar_t* first = getOwnExecutablePath();
  EXPECT_EQ(std::wstring(first), ownPath());
  EXPECT_EQ(getOwnExecutablePath(), first);
  EXPECT_EQ(std::wstring(first).find(L'~'), std::wstring::npos);
}

TEST(GetOwnExecutablePath, TakesAPathOf4096CharactersAndEndsAbnormallyAt4097) {
  ProcessResult whole = runProbe("own_path_of_4096");
  EXPECT_EQ(whole.exitCode, 0u);
  EXPECT_EQ(whole.out, "whole");
  // Cut by the system, it would name another file.
  ProcessResult r = runProbe("own_path_of_4097");
  EXPECT_EQ(r.exitCode, kFastFailStatus);
  EXPECT_EQ(r.out + r.err, "");
}

TEST(AppendKnownFolder, AppendsAtTheEndOfTheStringWithinTheRoom) {
  reportFolder(L"X:\\Data\\Local");
  wchar_t buffer[32] = L"pre";
  ASSERT_TRUE(appendKnownFolder(buffer, CSIDL_LOCAL_APPDATA, 32));
  EXPECT_EQ(std::wstring(buffer), L"preX:\\Data\\Local");

  // The string and the path fill the room exactly, terminator included.
  wchar_t exact[16] = L"abc";
  reportFolder(L"X:\\Data");
  ASSERT_TRUE(appendKnownFolder(exact, CSIDL_LOCAL_APPDATA, 11));
  EXPECT_EQ(std::wstring(exact), L"abcX:\\Data");
  resetKnownFolder();

  EXPECT_EQ(runProbe("known_folder_one_unit_over").exitCode, kFastFailStatus);
}

TEST(AppendKnownFolder, ReportsFalseAndWritesNothingWithoutAPath) {
  reportFolder(L"X:\\Data", S_FALSE);
  wchar_t buffer[32] = L"keep";
  EXPECT_FALSE(appendKnownFolder(buffer, CSIDL_LOCAL_APPDATA, 32));
  EXPECT_EQ(std::wstring(buffer), L"keep");
  resetKnownFolder();
}

TEST(AppendKnownFolder, GivesTheRealProfileAndLocalApplicationDataFolders) {
  wchar_t expected[MAX_PATH];
  wchar_t buffer[kPathUnits] = L"";
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, expected), S_OK);
  ASSERT_TRUE(appendKnownFolder(buffer, CSIDL_LOCAL_APPDATA, kPathUnits));
  EXPECT_EQ(std::wstring(buffer), expected);

  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, 0, expected), S_OK);
  ASSERT_TRUE(expandSpec(buffer, L"{home}", kPathUnits));
  EXPECT_EQ(std::wstring(buffer), expected);
}

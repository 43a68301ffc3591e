// Launchers and target directories in places that stretch path handling: beyond 260 characters,
// and below folders whose names need more than ASCII, surrogate pairs included.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/faults/fault_support.h"

namespace {

// The old limit of Windows paths, which the launcher's 4096-unit buffers go beyond.
constexpr size_t kShortPathLimit = 260;
constexpr wchar_t kForeign[] = L"Zo\u00eb\U0001F600";
// The target spec of deep.exe repeats this folder five times below {TEMP}\faults.
constexpr wchar_t kDeepFolder[] =
    L"\\a-folder-name-long-enough-to-take-the-target-past-the-old-limit";
constexpr int kDeepFolders = 5;

// Whether two paths name one file, though one may be spelled with the short names that reach
// past the limit of 260 characters.
bool isTheSameFile(const std::wstring& one, const std::wstring& other) {
  BY_HANDLE_FILE_INFORMATION info[2];
  const std::wstring* paths[] = {&one, &other};
  for (int i = 0; i < 2; ++i) {
    HANDLE file = CreateFileW(extendedPath(*paths[i]).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
      return false;
    BOOL known = GetFileInformationByHandle(file, &info[i]);
    CloseHandle(file);
    if (!known)
      return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
         info[0].nFileIndexLow == info[1].nFileIndexLow;
}

// The second start reuses what the first one unpacked.
void expectTwoStartsFrom(const std::wstring& exe, const std::wstring& temp,
                         const std::wstring& target) {
  for (int start = 0; start < 2; ++start) {
    Launch run = launchWithTemp(exe, temp);
    EXPECT_TRUE(holdsTheApplication(target)) << "start " << start;
    ASSERT_EQ(run.process.exitCode, 0u) << run.process.out << run.process.err;
    EXPECT_TRUE(isTheSameFile(run.report.module, target + L"\\report.exe"))
        << "the child ran as " << narrow(run.report.module);
  }
}

}  // namespace

TEST(LongPaths, UnpacksAndStartsBelowATargetDirectoryOfMoreThan260Characters) {
  std::wstring temp = freshFolder(L"temp");
  std::wstring target = temp + L"\\faults";
  for (int i = 0; i < kDeepFolders; ++i)
    target += kDeepFolder;
  target += L"\\bulky";
  ASSERT_GT(target.size(), kShortPathLimit);

  expectTwoStartsFrom(launcherPath(L"deep"), temp, target);
}

TEST(LongPaths, StartsAProgramPathOfExactly260CharactersByItsShortForm) {
  // The system starts no program path of 260 characters or more by its long form.
  const std::wstring programBelowTemp = L"\\faults\\bulky\\report.exe";
  std::wstring temp = freshFolder(L"temp");
  temp += L"\\" + std::wstring(kShortPathLimit - programBelowTemp.size() - temp.size() - 1, L'p');
  ASSERT_TRUE(CreateDirectoryW(extendedPath(temp).c_str(), nullptr));
  std::wstring target = temp + L"\\faults\\bulky";
  ASSERT_EQ((temp + programBelowTemp).size(), kShortPathLimit);

  expectTwoStartsFrom(launcherPath(L"bulky"), temp, target);
}

TEST(ForeignPaths, RunsFromAndUnpacksBelowFoldersWithNonAsciiNamesAndSurrogatePairs) {
  std::wstring folder = freshFolder(std::wstring(kForeign) + L" launcher");
  std::wstring exe = folder + L"\\" + kForeign + L".exe";
  ASSERT_TRUE(CopyFileW(launcherPath(L"bulky").c_str(), exe.c_str(), FALSE));
  std::wstring temp = freshFolder(std::wstring(kForeign) + L" temp\\\u4e2d\u6587 \u00fc");
  std::wstring target = bulkyTarget(temp);

  Launch run = launchWithTemp(exe, temp);
  ASSERT_EQ(run.process.exitCode, 0u) << run.process.out << run.process.err;
  EXPECT_EQ(run.report.module, target + L"\\report.exe");
  ASSERT_FALSE(run.report.arguments.empty());
  EXPECT_EQ(run.report.arguments[0], exe);
  EXPECT_EQ(variable(run, "TARNIC_ONEFILE_DIRECTORY"), folder);
  EXPECT_TRUE(holdsTheApplication(target));
}

// Runs in a Wine prefix of its own (in_private_prefix.sh) whose local application data folder
// lies below a user folder named with characters beyond ASCII, a surrogate pair among them.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <string>

#include "tests/faults/fault_support.h"

TEST(ForeignUserFolder, UnpacksBelowALocalApplicationDataFolderWithForeignCharacters) {
  wchar_t local[MAX_PATH];
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, local), S_OK);
  ASSERT_NE(std::wstring(local).find(L"\\Zo\u00eb\U0001F600\\"), std::wstring::npos)
      << "the prefix was not prepared: " << narrow(local);
  std::wstring target = std::wstring(local) + L"\\Zarvel Faults\\bulky";

  for (int start = 0; start < 2; ++start) {
    Launch run = launchWithTemp(launcherPath(L"cached"), freshFolder(L"temp"));
    ASSERT_EQ(run.process.exitCode, 0u) << run.process.out << run.process.err;
    EXPECT_EQ(run.report.module, target + L"\\report.exe");
    EXPECT_TRUE(holdsTheApplication(target)) << "start " << start;
  }
}

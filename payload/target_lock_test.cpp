#include "payload/target_lock.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

std::wstring lockName(const wchar_t* directory) {
  wchar_t name[kLockNameUnits];
  formatLockName(directory, name);
  return name;
}

std::wstring targetLockName(const std::wstring& directory) {
  wchar_t name[kLockNameUnits];
  formatTargetLockName(directory.c_str(), name);
  return name;
}

// A new folder below the temporary folder, in the form that reaches past MAX_PATH.
std::wstring newTemporaryFolder() {
  wchar_t temp[MAX_PATH];
  EXPECT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  std::wstring folder =
      std::wstring(L"\\\\?\\") + temp + L"tarnic-lock-" + std::to_wstring(GetCurrentProcessId());
  EXPECT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << GetLastError();
  return folder;
}

}  // namespace

TEST(TargetLock, NamesOneMutexPerDirectoryWhateverItsAsciiCase) {
  EXPECT_EQ(lockName(L"C:\\Users\\Zoe\\AppData\\Local\\App"),
            lockName(L"c:\\users\\ZOE\\appdata\\local\\app"));
  EXPECT_NE(lockName(L"C:\\App\\1.20"), lockName(L"C:\\App\\1.21"));
  EXPECT_EQ(lockName(L"").rfind(L"Local\\tarnic-onefile-", 0), 0u);
  EXPECT_EQ(lockName(L"x").size(), std::wstring(L"Local\\tarnic-onefile-").size() + 16);
}

TEST(TargetLock, HoldsOffASecondHolderUntilReleased) {
  const wchar_t* directory = L"C:\\tarnic-lock-test";
  lockTargetDirectory(directory);
  wchar_t name[kLockNameUnits];
  formatTargetLockName(directory, name);
  // A second launch is another process; a thread of its own stands in for it here, since the
  // mutex belongs to the thread that waited for it.
  DWORD waited = 0;
  std::thread other([&] {
    HANDLE mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name);
    ASSERT_NE(mutex, nullptr);
    waited = WaitForSingleObject(mutex, 200);
    if (waited == WAIT_OBJECT_0)
      ReleaseMutex(mutex);
    CloseHandle(mutex);
  });
  other.join();
  EXPECT_EQ(waited, static_cast<DWORD>(WAIT_TIMEOUT));
  unlockTargetDirectory();

  std::thread after([&] {
    HANDLE mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name);
    waited = mutex ? WaitForSingleObject(mutex, 200) : WAIT_FAILED;
    if (waited == WAIT_OBJECT_0)
      ReleaseMutex(mutex);
    if (mutex)
      CloseHandle(mutex);
  });
  after.join();
  // Once released and closed, the name may be gone: either way nobody holds it.
  EXPECT_NE(waited, static_cast<DWORD>(WAIT_TIMEOUT));
}

// A start that finds the target made already names it by the folder's own name, which Wine
// gives only as an object name beyond MAX_PATH; a start before it named it by the final path of
// a shallower folder: both must take one lock.
TEST(TargetLock, NamesADeepTargetAlikeBeforeAndAfterItIsMade) {
  std::wstring base = newTemporaryFolder();
  std::wstring target = base;
  std::vector<std::wstring> made;
  while (target.size() < 400) {
    target += L"\\a-folder-name-long-enough-to-go-past-the-old-limit";
    made.push_back(target);
  }
  std::wstring before = targetLockName(target);
  for (const std::wstring& folder : made)
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << GetLastError();
  EXPECT_EQ(targetLockName(target), before);
  for (auto folder = made.rbegin(); folder != made.rend(); ++folder)
    RemoveDirectoryW(folder->c_str());
  RemoveDirectoryW(base.c_str());
}

#include "payload/target_lock.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

std::wstring lockName(const wchar_t* directory) {
  wchar_t name[kLockNameUnits];
  formatLockName(directory, name);
  return name;
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

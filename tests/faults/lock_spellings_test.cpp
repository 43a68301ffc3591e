// Starts that reach one target directory by different paths take turns at unpacking: the lock
// is named by the folder, not by the path that reached it.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>

#include "tests/faults/fault_support.h"

namespace {

// How long a start must be seen leaving the target alone while another holds it: a start of
// this application that did not wait would have written some of it long before.
constexpr DWORD kWaitSeenMs = 5000;
constexpr int kMostRounds = 20;

// The folder beside this test program that holds a copy of the launcher, and a link to it that
// the build made (a Unix symbolic link, which Wine follows).
std::wstring spellingsFolder() {
  return testFolder() + L"\\spellings";
}

// Every file below `folder`, partial files included, with its size.
std::map<std::wstring, uint64_t> filesWithSizes(const std::wstring& folder) {
  std::map<std::wstring, uint64_t> files;
  for (const std::wstring& name : filesBelow(folder))
    files[name] = sizeOnDisk(folder + L"\\" + name);
  return files;
}

// What `folder` holds once the writes a suspended start had under way have landed.
std::map<std::wstring, uint64_t> settledFiles(const std::wstring& folder) {
  std::map<std::wstring, uint64_t> before, now = filesWithSizes(folder);
  do {
    before = now;
    Sleep(200);
    now = filesWithSizes(folder);
  } while (now != before);
  return now;
}

DWORD exitCodeOf(const RunningLauncher& launcher) {
  DWORD code = 0;
  GetExitCodeProcess(launcher.process, &code);
  return code;
}

}  // namespace

TEST(LockSpellings, AStartThroughALinkLeavesTheTargetAloneWhileOneThroughTheFolderUnpacks) {
  std::wstring folder = spellingsFolder() + L"\\launcher";
  std::wstring throughFolder = folder + L"\\beside.exe";
  std::wstring throughLink = spellingsFolder() + L"\\link\\beside.exe";
  ASSERT_TRUE(CopyFileW(launcherPath(L"beside").c_str(), throughFolder.c_str(),
                        /* fail if exists */ FALSE))
      << GetLastError();
  std::wstring target = folder + L"\\unpacked";
  // A round counts once the first start was held still while it unpacked; one that had
  // unpacked every byte already may have let go of the lock.
  for (int round = 1; round <= kMostRounds; ++round) {
    removeTree(extendedPath(target));
    RunningLauncher held, waiting;
    startLauncher(throughFolder, L"", &held);
    ASSERT_TRUE(waitForUnpackingToStart(held, target + L"\\report.exe"));
    suspendLauncher(held);
    const std::map<std::wstring, uint64_t> left = settledFiles(target);
    if (bytesUnpacked(target) == applicationBytes()) {
      resumeLauncher(held);
      continue;
    }
    startLauncher(throughLink, L"", &waiting);
    bool waited = WaitForSingleObject(waiting.process, kWaitSeenMs) == WAIT_TIMEOUT;
    bool untouched = filesWithSizes(target) == left;
    resumeLauncher(held);
    WaitForSingleObject(held.process, INFINITE);
    WaitForSingleObject(waiting.process, INFINITE);
    EXPECT_TRUE(waited && untouched)
        << "the start through the link " << (waited ? "wrote" : "ended")
        << " while the other held the target";
    EXPECT_EQ(exitCodeOf(held), 0u);
    EXPECT_EQ(exitCodeOf(waiting), 0u);
    EXPECT_TRUE(holdsTheApplication(target));
    return;
  }
  FAIL() << "no start was seen unpacking in " << kMostRounds << " rounds";
}

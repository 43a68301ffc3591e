// Starts that reach one target directory by different paths take turns at unpacking: the lock
// is named by the folder, not by the path that reached it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/faults/fault_support.h"

namespace {

// How long a start must be seen waiting while another holds the target: a start of this
// application that did not wait would have ended long before, on a quiet machine.
constexpr DWORD kWaitSeenMs = 5000;
constexpr int kMostRounds = 20;

// The folder beside this test program that holds a copy of the launcher, and a link to it that
// the build made (a Unix symbolic link, which Wine follows).
std::wstring spellingsFolder() {
  return testFolder() + L"\\spellings";
}

// Ends a round's starts: resumes the held one and waits for both.
void endRound(RunningLauncher* held, RunningLauncher* waiting) {
  ResumeThread(held->thread);
  WaitForSingleObject(held->process, INFINITE);
  WaitForSingleObject(waiting->process, INFINITE);
}

DWORD exitCodeOf(const RunningLauncher& launcher) {
  DWORD code = 0;
  GetExitCodeProcess(launcher.process, &code);
  return code;
}

}  // namespace

TEST(LockSpellings, AStartThroughALinkWaitsForOneThroughTheFolderThatHoldsTheTarget) {
  std::wstring folder = spellingsFolder() + L"\\launcher";
  std::wstring throughFolder = folder + L"\\beside.exe";
  std::wstring throughLink = spellingsFolder() + L"\\link\\beside.exe";
  ASSERT_TRUE(CopyFileW(launcherPath(L"beside").c_str(), throughFolder.c_str(),
                        /* fail if exists */ FALSE))
      << GetLastError();
  std::wstring target = folder + L"\\unpacked";
  // A round counts once the first start was held while it still unpacked; one that had
  // unpacked every byte already may have let go of the lock.
  for (int round = 1; round <= kMostRounds; ++round) {
    removeTree(extendedPath(target));
    RunningLauncher held, waiting;
    startLauncher(throughFolder, L"", &held);
    ASSERT_TRUE(waitForUnpackingToStart(held, target + L"\\report.exe"));
    SuspendThread(held.thread);
    if (bytesUnpacked(target) == applicationBytes()) {
      ResumeThread(held.thread);
      continue;
    }
    startLauncher(throughLink, L"", &waiting);
    bool waited = WaitForSingleObject(waiting.process, kWaitSeenMs) == WAIT_TIMEOUT;
    endRound(&held, &waiting);
    EXPECT_TRUE(waited) << "the start through the link ended while the other held the target";
    EXPECT_EQ(exitCodeOf(held), 0u);
    EXPECT_EQ(exitCodeOf(waiting), 0u);
    EXPECT_TRUE(holdsTheApplication(target));
    return;
  }
  FAIL() << "no start was seen unpacking in " << kMostRounds << " rounds";
}

#include "launcher/child_supervision.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "tests/support/probe.h"
#include "tests/support/process.h"
#include "tests/support/system_seams.h"

namespace {

constexpr uint32_t kSleeperExitCode = 42;

// The event a sleeper sets once it runs.
std::wstring readyEventName() {
  return L"tarnic-sleeper-ready-" + std::to_wstring(GetCurrentProcessId());
}

// Creates this test program as a child that sleeps for `milliseconds`, then exits with 42.
PROCESS_INFORMATION createSleeper(DWORD milliseconds, DWORD flags) {
  SetEnvironmentVariableW(L"TARNIC_SLEEP_MS", std::to_wstring(milliseconds).c_str());
  SetEnvironmentVariableW(L"TARNIC_SLEEPER_READY", readyEventName().c_str());
  std::wstring self = ownPath();
  std::wstring line = quoteArgument(self) + L" --probe sleep";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  EXPECT_TRUE(CreateProcessW(self.c_str(), line.data(), nullptr, nullptr, FALSE, flags, nullptr,
                             nullptr, &startup, &info));
  return info;
}

// Returns once the child runs, so that its sleep, not how long a busy machine takes to start a
// process, decides when it ends.
HANDLE startSleeper(DWORD milliseconds) {
  HANDLE running = CreateEventW(nullptr, /* manual reset */ TRUE, FALSE, readyEventName().c_str());
  EXPECT_NE(running, nullptr);
  PROCESS_INFORMATION info = createSleeper(milliseconds, 0);
  CloseHandle(info.hThread);
  HANDLE waits[] = {running, info.hProcess};
  EXPECT_EQ(WaitForMultipleObjects(2, waits, /* wait for all */ FALSE, INFINITE), WAIT_OBJECT_0);
  CloseHandle(running);
  return info.hProcess;
}

// Runs the handler for `event` on a thread of its own, as the system would; returns how long
// it took.
std::chrono::milliseconds handle(DWORD event) {
  auto start = std::chrono::steady_clock::now();
  std::thread([event] { EXPECT_FALSE(consoleControlHandler(event)); }).join();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start);
}

DWORD handleCount() {
  DWORD count = 0;
  GetProcessHandleCount(GetCurrentProcess(), &count);
  return count;
}

}  // namespace

TARNIC_PROBE(sleep) {
  // Only startSleeper waits for the event; others start the sleeper suspended and need none.
  HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, _wgetenv(L"TARNIC_SLEEPER_READY"));
  if (ready != nullptr) {
    SetEvent(ready);
    CloseHandle(ready);
  }
  Sleep(std::stoul(_wgetenv(L"TARNIC_SLEEP_MS")));
  ExitProcess(kSleeperExitCode);
}

TARNIC_PROBE(resume_fails) {
  failResumeThread();
  releaseChild(createSleeper(0, CREATE_SUSPENDED));
}

TARNIC_PROBE(wait_fails) {
  superviseChild(startSleeper(0));
  failWaitForSingleObject();
  waitForChild();
}

TEST(ReleaseChild, EndsWithTheLaunchMessageWhenTheChildCannotRun) {
  ProcessResult r = runProbe("resume_fails");
  EXPECT_EQ(r.err, "Error, couldn't launch child ([Error 5] " + systemText(5) + ")\r\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.exitCode, 2u);
}

TEST(ReleaseChild, RunsTheChildInAJobOrUntiedWhereNoJobTakesIt) {
  BOOL launcherInJob = TRUE;
  IsProcessInJob(GetCurrentProcess(), /* any job */ nullptr, &launcherInJob);
  for (bool assignmentFails : {false, true}) {
    if (assignmentFails)
      failJobAssignment();
    PROCESS_INFORMATION child = createSleeper(0, CREATE_SUSPENDED);
    releaseChild(child);
    resetJobAssignment();
    BOOL inJob = !launcherInJob;
    IsProcessInJob(child.hProcess, /* any job */ nullptr, &inJob);
    EXPECT_EQ(inJob != FALSE, assignmentFails ? launcherInJob != FALSE : true) << assignmentFails;
    superviseChild(child.hProcess);
    EXPECT_EQ(waitForChild(), kSleeperExitCode) << assignmentFails;
  }
}

TEST(ConsoleControlHandler, WaitsForAChildThatEndsWithinTheGraceTimeOnEveryEndingEvent) {
  for (DWORD event :
       {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT}) {
    superviseChild(startSleeper(1000));
    auto took = handle(event);
    // The handler returns when the child has ended, not before.
    EXPECT_GE(took.count(), 500) << event;
    EXPECT_LT(took.count(), 4500) << event;
    EXPECT_EQ(waitForChild(), kSleeperExitCode) << event;
  }
}

TEST(ConsoleControlHandler, TerminatesAChildStillRunningAfterTheGraceTimeWithExitCode0) {
  superviseChild(startSleeper(60000));
  auto took = handle(CTRL_CLOSE_EVENT);
  EXPECT_GE(took.count(), 4900);
  EXPECT_LT(took.count(), 30000);
  EXPECT_EQ(waitForChild(), 0u);
}

TEST(ConsoleControlHandler, IgnoresOtherEventsAndEventsWithoutAChild) {
  HANDLE child = startSleeper(60000);
  superviseChild(child);
  // Well below the grace time, which a handler that took the event would wait.
  for (DWORD event : {3u, 4u, 7u, 100u})
    EXPECT_LT(handle(event).count(), 4000) << event;
  EXPECT_EQ(WaitForSingleObject(child, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "still running";
  TerminateProcess(child, 7);
  EXPECT_EQ(waitForChild(), 7u);

  // With the slot empty, every event passes straight on.
  for (DWORD event : {0u, 1u, 2u, 5u, 6u})
    EXPECT_LT(handle(event).count(), 4000) << event;
  cleanUpChild();
}

TEST(ConsoleControlHandler, ClosesEachHandleOnceWhenEventsAndTheChildsEndMeet) {
  // The child ends during the grace wait of two handlers, while the main thread waits too.
  DWORD before = handleCount();
  superviseChild(startSleeper(500));
  std::thread first([] { consoleControlHandler(CTRL_C_EVENT); });
  std::thread second([] { consoleControlHandler(CTRL_BREAK_EVENT); });
  EXPECT_EQ(waitForChild(), kSleeperExitCode);
  first.join();
  second.join();
  cleanUpChild();
  EXPECT_EQ(handleCount(), before);
}

TEST(WaitForChild, EndsWithTheLaunchMessageWhenTheWaitFails) {
  ProcessResult r = runProbe("wait_fails");
  EXPECT_EQ(r.err, "Error, couldn't launch child ([Error 6] " + systemText(6) + ")\r\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.exitCode, 2u);
}

TEST(WaitForChild, GivesOneWhenTheExitCodeCannotBeRead) {
  superviseChild(startSleeper(0));
  failExitCodeProcess();
  EXPECT_EQ(waitForChild(), kUnreadableExitCode);
  resetExitCodeProcess();
}

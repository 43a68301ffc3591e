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

// Starts this test program as a child that sleeps for `milliseconds`, then exits with 42.
// Returns once the child runs, so that its sleep, not how long a busy machine takes to start a
// process, decides when it ends.
HANDLE startSleeper(DWORD milliseconds) {
  std::wstring ready = L"tarnic-sleeper-ready-" + std::to_wstring(GetCurrentProcessId());
  HANDLE running = CreateEventW(nullptr, /* manual reset */ TRUE, FALSE, ready.c_str());
  EXPECT_NE(running, nullptr);
  SetEnvironmentVariableW(L"TARNIC_SLEEP_MS", std::to_wstring(milliseconds).c_str());
  SetEnvironmentVariableW(L"TARNIC_SLEEPER_READY", ready.c_str());
  std::wstring self = ownPath();
  std::wstring line = quoteArgument(self) + L" --probe sleep";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  EXPECT_TRUE(CreateProcessW(self.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &info));
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
  HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, _wgetenv(L"TARNIC_SLEEPER_READY"));
  if (ready == nullptr || !SetEvent(ready))
    ExitProcess(1);
  CloseHandle(ready);
  Sleep(std::stoul(_wgetenv(L"TARNIC_SLEEP_MS")));
  ExitProcess(kSleeperExitCode);
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

TEST(WaitForChild, GivesOneWhenTheExitCodeCannotBeRead) {
  superviseChild(startSleeper(0));
  failExitCodeProcess();
  EXPECT_EQ(waitForChild(), kUnreadableExitCode);
  resetExitCodeProcess();
}

// Launches of one launcher started together on one target directory.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/support/process.h"

namespace {

constexpr int kLaunches = 8;

// The target holds exactly the application's files, each byte-identical.
void expectSameFiles(const std::wstring& application, const std::wstring& target) {
  std::vector<std::wstring> expected = filesBelow(application), found = unpackedFilesBelow(target);
  std::sort(expected.begin(), expected.end());
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, expected);
  for (const auto& name : expected)
    EXPECT_TRUE(readWholeFile(application + L"\\" + name) == readWholeFile(target + L"\\" + name))
        << narrow(name);
}

// Starts kLaunches launches at once and returns how each ended.
std::vector<ProcessResult> launchTogether(const std::wstring& temp) {
  std::wstring exe = launcherPath(L"several");
  ProcessOptions options;
  options.setEnvironment[L"TMP"] = temp;
  options.timeoutMs = 60000;
  std::vector<ProcessResult> results(kLaunches);
  std::vector<std::thread> threads;
  for (int i = 0; i < kLaunches; ++i)
    threads.emplace_back([&, i] { results[i] = runProcess(exe, quoteArgument(exe), options); });
  for (auto& thread : threads)
    thread.join();
  return results;
}

// Every launch ran the child; failures are listed with what they printed.
void expectAllRan(const std::vector<ProcessResult>& results, const char* state) {
  int ran = 0;
  for (const ProcessResult& r : results) {
    if (r.exitCode == 0 && !parseReport(r.out).module.empty()) {
      ++ran;
    } else {
      ADD_FAILURE() << state << ": exit " << r.exitCode << " " << r.out << r.err;
    }
  }
  printf("%s: %d of %d launches ran the child\n", state, ran, kLaunches);
}

}  // namespace

TEST(ConcurrentStarts, AllRunAndLeaveEveryFileWholeOnAnEmptyAndAFullTarget) {
  std::wstring temp = freshTemp();
  std::wstring target = temp + L"\\e2e\\several";
  std::wstring application = testFolder() + L"\\apps\\several";

  expectAllRan(launchTogether(temp), "empty target");
  expectSameFiles(application, target);

  expectAllRan(launchTogether(temp), "full target");
  expectSameFiles(application, target);
}

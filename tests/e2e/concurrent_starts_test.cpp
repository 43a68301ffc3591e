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

// Every file below `folder`, as names relative to it.
void listFiles(const std::wstring& folder, const std::wstring& prefix,
               std::vector<std::wstring>& names) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..")
      continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      listFiles(folder + L"\\" + name, prefix + name + L"\\", names);
    else
      names.push_back(prefix + name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

std::string contentOf(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  std::string content;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
    content.append(buffer, got);
  CloseHandle(file);
  return content;
}

// The target holds exactly the application's files, each byte-identical.
void expectSameFiles(const std::wstring& application, const std::wstring& target) {
  std::vector<std::wstring> expected, found;
  listFiles(application, L"", expected);
  listFiles(target, L"", found);
  std::sort(expected.begin(), expected.end());
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, expected);
  for (const auto& name : expected)
    EXPECT_TRUE(contentOf(application + L"\\" + name) == contentOf(target + L"\\" + name))
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

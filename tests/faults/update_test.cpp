// The next version: one started while the last one still runs from the same target directory,
// and copies for one start that go when their program ends.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/faults/fault_support.h"

namespace {

constexpr wchar_t kPartialSuffix[] = L".tarnic-partial";

ProcessOptions withTemp(const std::wstring& temp) {
  ProcessOptions options;
  options.setEnvironment[L"TMP"] = temp;
  options.setEnvironment[L"TEMP"] = temp;
  return options;
}

ProcessResult start(const std::wstring& name, const std::wstring& temp,
                    const std::vector<std::wstring>& arguments = {}) {
  const std::wstring exe = launcherPath(name);
  return runLauncher(exe, commandLine(exe, arguments), withTemp(temp));
}

// Waits, within a bound generous for any machine, until `path` exists.
bool appears(const std::wstring& path) {
  constexpr int kMostPolls = 6000;
  for (int poll = 0; poll < kMostPolls; ++poll) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
      return true;
    Sleep(20);
  }
  return false;
}

void touch(const std::wstring& path) {
  writeWholeFile(path, "");
}

std::vector<std::wstring> partialFilesBelow(const std::wstring& folder) {
  std::vector<std::wstring> partial;
  const std::wstring suffix = kPartialSuffix;
  for (const std::wstring& name : unpackedFilesBelow(folder))
    if (name.size() > suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
      partial.push_back(name);
  return partial;
}

// The names in `folder`, files and folders alike.
std::vector<std::wstring> namesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return names;
  do
    if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0)
      names.push_back(found.cFileName);
  while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

bool reports(const ProcessResult& result, const std::string& line) {
  return result.out.find("\n" + line + "\r\n") != std::string::npos;
}

}  // namespace

TEST(Update, NewVersionRunsBesideTheOldOneAndALaterStartRemovesWhatItMovedAside) {
  const std::wstring temp = freshFolder(L"update");
  const std::wstring target = temp + L"\\faults\\update";
  const std::wstring release = temp + L"\\release";
  // Version 1 runs from the target directory with its DLL loaded until the test releases it.
  ProcessResult first;
  std::thread running([&] {
    first = start(L"update_v1", temp, {L"--load", L"tessaline-version.dll", L"--hold", release});
  });
  const bool held = appears(release + L".ready");
  ProcessResult second;
  if (held)
    second = start(L"update_v2", temp, {L"--load", L"tessaline-version.dll"});
  touch(release);
  running.join();
  ASSERT_TRUE(held) << first.out << first.err;

  EXPECT_EQ(second.exitCode, 0u) << second.out << second.err;
  EXPECT_TRUE(reports(second, "loaded=dll 2")) << second.out;
  EXPECT_EQ(first.exitCode, 0u) << first.err;
  EXPECT_TRUE(reports(first, "loaded=dll 1")) << first.out;
  // The files version 1 used were moved aside, not replaced.
  EXPECT_FALSE(partialFilesBelow(target).empty());

  ProcessResult third = start(L"update_v2", temp);
  EXPECT_EQ(third.exitCode, 0u) << third.err;
  EXPECT_TRUE(partialFilesBelow(target).empty()) << narrow(partialFilesBelow(target).front());
  EXPECT_EQ(readWholeFile(target + L"\\tessaline-version.dll"),
            readWholeFile(testFolder() + L"\\apps\\update-2\\tessaline-version.dll"));
}

TEST(RemoveAfterExit, RemovesTheCopyButAFileAnotherProcessStillHolds) {
  const std::wstring temp = freshFolder(L"once");
  ProcessResult plain = start(L"once", temp);
  ASSERT_EQ(plain.exitCode, 0u) << plain.err;
  EXPECT_TRUE(filesBelow(temp + L"\\faults").empty()) << narrow(filesBelow(temp).front());

  const std::wstring release = temp + L"\\release";
  ProcessResult held;
  std::thread running([&] { held = start(L"once", temp, {L"--hold", release}); });
  std::wstring copy;
  HANDLE file = INVALID_HANDLE_VALUE;
  if (appears(release + L".ready")) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((temp + L"\\faults\\once-*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      copy = temp + L"\\faults\\" + found.cFileName;
      FindClose(search);
    }
    // Held without delete sharing, as a program that still works with it holds it.
    file = CreateFileW((copy + L"\\data\\shared.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                       nullptr, OPEN_EXISTING, 0, nullptr);
  }
  touch(release);
  running.join();
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << narrow(copy);
  EXPECT_EQ(held.exitCode, 0u) << held.err;
  EXPECT_EQ(unpackedFilesBelow(copy), std::vector<std::wstring>{L"data\\shared.txt"});
  CloseHandle(file);
}

TEST(RemoveAfterExit, StartsOfOneSharedCopyLeaveItToTheLastToEnd) {
  const std::wstring temp = freshFolder(L"shared-once");
  const std::wstring target = temp + L"\\faults\\shared-once";
  const std::wstring app = testFolder() + L"\\apps\\update-1";
  const std::wstring releaseFirst = temp + L"\\first", releaseSecond = temp + L"\\second";
  ProcessResult first, second;
  std::thread firstRunning([&] { first = start(L"shared_once", temp, {L"--hold", releaseFirst}); });
  const bool firstHeld = appears(releaseFirst + L".ready");
  // The second program loads the application's DLL only after the first start has ended.
  std::thread secondRunning([&] {
    second = start(L"shared_once", temp,
                   {L"--hold", releaseSecond, L"--load", L"tessaline-version.dll"});
  });
  const bool secondHeld = appears(releaseSecond + L".ready");
  touch(releaseFirst);
  firstRunning.join();
  const std::vector<std::wstring> whileSecondRuns = unpackedFilesBelow(target);
  touch(releaseSecond);
  secondRunning.join();
  ASSERT_TRUE(firstHeld && secondHeld) << first.out << first.err << second.out << second.err;

  EXPECT_EQ(first.exitCode, 0u) << first.err;
  EXPECT_EQ(whileSecondRuns, filesBelow(app));
  EXPECT_EQ(second.exitCode, 0u) << second.err;
  EXPECT_TRUE(reports(second, "loaded=dll 1")) << second.out;
  EXPECT_EQ(GetFileAttributesW(target.c_str()), INVALID_FILE_ATTRIBUTES) << narrow(target);
}

TEST(RemoveAfterExit, OverlappingCopiesForOneStartAllGo) {
  const std::wstring temp = freshFolder(L"overlapping-once");
  const std::wstring releaseFirst = temp + L"\\first", releaseSecond = temp + L"\\second";
  ProcessResult first, second;
  std::thread firstRunning([&] { first = start(L"once", temp, {L"--hold", releaseFirst}); });
  const bool firstHeld = appears(releaseFirst + L".ready");
  std::thread secondRunning([&] { second = start(L"once", temp, {L"--hold", releaseSecond}); });
  const bool secondHeld = appears(releaseSecond + L".ready");
  touch(releaseFirst);
  firstRunning.join();
  // Each copy is its own: the first goes whole while the second's program runs.
  const size_t copiesWhileSecondRuns = namesIn(temp + L"\\faults").size();
  touch(releaseSecond);
  secondRunning.join();
  ASSERT_TRUE(firstHeld && secondHeld) << first.err << second.err;
  EXPECT_EQ(copiesWhileSecondRuns, 1u);
  EXPECT_EQ(first.exitCode, 0u) << first.err;
  EXPECT_EQ(second.exitCode, 0u) << second.err;

  ProcessResult third = start(L"once", temp);
  EXPECT_EQ(third.exitCode, 0u) << third.err;
  EXPECT_EQ(namesIn(temp + L"\\faults"), std::vector<std::wstring>{});
}

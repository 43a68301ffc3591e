// Something in the place of an application file that the launcher cannot replace: the start
// ends with the open-for-writing message and changes nothing else.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/faults/fault_support.h"

namespace {

// An application file in the middle of the payload: files come before it and after it.
constexpr wchar_t kBlockedName[] = L"data\\words.txt";
// A write time no start can give, so that any rewrite shows.
constexpr FILETIME kLongAgo{0, 0x01C00000};

// A temporary directory whose target directory holds the whole application, every file
// written long ago.
std::wstring tempWithTheApplication() {
  std::wstring temp = freshFolder(L"in-the-way");
  placeTheApplication(bulkyTarget(temp));
  for (const AppFile& file : applicationFiles()) {
    std::wstring path = bulkyTarget(temp) + L"\\" + file.name;
    HANDLE handle = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    SetFileTime(handle, nullptr, nullptr, &kLongAgo);
    CloseHandle(handle);
  }
  return temp;
}

bool writtenSinceLongAgo(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  return CompareFileTime(&data.ftLastWriteTime, &kLongAgo) != 0;
}

// Every application file but the blocked one still holds its bytes and was not rewritten.
void expectOtherFilesUntouched(const std::wstring& target) {
  for (const AppFile& file : applicationFiles()) {
    if (file.name == kBlockedName)
      continue;
    std::wstring path = target + L"\\" + file.name;
    EXPECT_EQ(readWholeFile(path), file.data) << narrow(file.name);
    EXPECT_FALSE(writtenSinceLongAgo(path)) << narrow(file.name) << " was rewritten";
  }
}

std::string openForWritingMessage(const std::wstring& path) {
  return "Error, failed to open '" + narrow(path) + "' for writing.\r\n";
}

void expectRefused(const Launch& start, const std::wstring& blocked) {
  EXPECT_EQ(start.process.err, openForWritingMessage(blocked));
  EXPECT_EQ(start.process.out, "") << "no child ran";
  EXPECT_EQ(start.process.exitCode, 2u);
}

std::string blockedData() {
  for (const AppFile& file : applicationFiles())
    if (file.name == kBlockedName)
      return file.data;
  throw std::runtime_error("the application has no " + narrow(kBlockedName));
}

// Whether this system lets CREATE_ALWAYS, as the launcher asks it, replace a read-only file.
// Windows refuses; Wine lets a program running as root replace it, as root may write any file.
bool replacesReadOnlyFiles(const std::wstring& folder) {
  std::wstring path = folder + L"\\read-only-probe";
  writeWholeFile(path, "probe");
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                            0, nullptr);
  bool replaced = file != INVALID_HANDLE_VALUE;
  if (replaced)
    CloseHandle(file);
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(path.c_str());
  return replaced;
}

}  // namespace

TEST(FilesInTheWay, ReadOnlyFileThatDiffersIsRefusedWithTheOpenForWritingMessage) {
  std::wstring temp = tempWithTheApplication();
  std::wstring blocked = bulkyTarget(temp) + L"\\" + kBlockedName;
  writeWholeFile(blocked, "left from another version");
  ASSERT_TRUE(SetFileAttributesW(blocked.c_str(), FILE_ATTRIBUTE_READONLY));
  bool replaceable = replacesReadOnlyFiles(temp);

  Launch start = launchWithTemp(launcherPath(L"bulky"), temp);
  DWORD attributes = GetFileAttributesW(blocked.c_str());
  SetFileAttributesW(blocked.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (replaceable) {
    // Where the system replaces it, the launcher does what it does with any changed file.
    EXPECT_EQ(start.process.exitCode, 0u) << start.process.out << start.process.err;
    EXPECT_EQ(readWholeFile(blocked), blockedData());
  } else {
    expectRefused(start, blocked);
    EXPECT_EQ(readWholeFile(blocked), "left from another version");
    EXPECT_NE(attributes & FILE_ATTRIBUTE_READONLY, 0u);
  }
  expectOtherFilesUntouched(bulkyTarget(temp));
}

// A file a running program uses is moved aside so that the new one can take its name, but not
// a read-only one: someone keeps it as it is.
TEST(FilesInTheWay, ReadOnlyFileInUseThatDiffersIsNotMovedAside) {
  std::wstring temp = tempWithTheApplication();
  std::wstring blocked = bulkyTarget(temp) + L"\\" + kBlockedName;
  writeWholeFile(blocked, "left from another version");
  ASSERT_TRUE(SetFileAttributesW(blocked.c_str(), FILE_ATTRIBUTE_READONLY));
  // Held as the loader holds a running program's image: it may be renamed, not replaced.
  HANDLE held = CreateFileW(blocked.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  Launch start = launchWithTemp(launcherPath(L"bulky"), temp);
  CloseHandle(held);
  SetFileAttributesW(blocked.c_str(), FILE_ATTRIBUTE_NORMAL);
  expectRefused(start, blocked);
  EXPECT_EQ(readWholeFile(blocked), "left from another version");
  expectOtherFilesUntouched(bulkyTarget(temp));
}

TEST(FilesInTheWay, FileHeldOpenIsLeftAloneWhileUnchanged) {
  // As a running program holds its own executable, and as a program that writes its data file
  // while others may read and write it too.
  const struct {
    DWORD access;
    DWORD share;
  } holders[] = {{GENERIC_READ, FILE_SHARE_READ},
                 {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE}};
  for (const auto& holder : holders) {
    std::wstring temp = tempWithTheApplication();
    std::wstring blocked = bulkyTarget(temp) + L"\\" + kBlockedName;
    HANDLE held = CreateFileW(blocked.c_str(), holder.access, holder.share, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Launch start = launchWithTemp(launcherPath(L"bulky"), temp);
    CloseHandle(held);
    EXPECT_EQ(start.process.exitCode, 0u) << start.process.out << start.process.err;
    EXPECT_EQ(start.report.module, bulkyTarget(temp) + L"\\report.exe");
    EXPECT_EQ(readWholeFile(blocked), blockedData());
    EXPECT_FALSE(writtenSinceLongAgo(blocked));
    expectOtherFilesUntouched(bulkyTarget(temp));
  }
}

TEST(FilesInTheWay, FileHeldWithoutWriteSharingThatDiffersIsRefusedWithTheOpenForWritingMessage) {
  std::wstring temp = tempWithTheApplication();
  std::wstring blocked = bulkyTarget(temp) + L"\\" + kBlockedName;
  writeWholeFile(blocked, "left from another version");
  HANDLE held = CreateFileW(blocked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  Launch start = launchWithTemp(launcherPath(L"bulky"), temp);
  CloseHandle(held);
  expectRefused(start, blocked);
  EXPECT_EQ(readWholeFile(blocked), "left from another version");
  expectOtherFilesUntouched(bulkyTarget(temp));
}

TEST(FilesInTheWay, DirectoryWhereAFileMustGoIsRefusedWithTheOpenForWritingMessage) {
  std::wstring temp = tempWithTheApplication();
  std::wstring blocked = bulkyTarget(temp) + L"\\" + kBlockedName;
  ASSERT_TRUE(DeleteFileW(blocked.c_str()));
  writeWholeFile(blocked + L"\\inside.txt", "kept");
  Launch start = launchWithTemp(launcherPath(L"bulky"), temp);
  expectRefused(start, blocked);
  EXPECT_EQ(readWholeFile(blocked + L"\\inside.txt"), "kept");
  expectOtherFilesUntouched(bulkyTarget(temp));
}

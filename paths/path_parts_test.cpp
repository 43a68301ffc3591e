#include "paths/path_parts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring folderAbove(const std::wstring& path) {
  return path.substr(0, folderAboveUnits(path.c_str(), path.size()));
}

std::wstring lastComponent(const std::wstring& path) {
  return path.substr(lastComponentStart(path.c_str(), path.size()));
}

}  // namespace

TEST(PathParts, FolderAboveKeepsTheBackslashOfARootAndStopsThere) {
  EXPECT_EQ(folderAbove(L"C:\\a\\b"), L"C:\\a");
  EXPECT_EQ(folderAbove(L"C:\\a"), L"C:\\");
  EXPECT_EQ(folderAbove(L"C:\\"), L"");
  EXPECT_EQ(folderAbove(L"\\\\server\\share\\a\\b"), L"\\\\server\\share\\a");
  EXPECT_EQ(folderAbove(L"\\\\server\\share\\a"), L"\\\\server\\share\\");
  EXPECT_EQ(folderAbove(L"\\\\server\\share"), L"");
  EXPECT_EQ(folderAbove(L"\\\\?\\C:\\a\\b"), L"\\\\?\\C:\\a");
  EXPECT_EQ(folderAbove(L"\\\\?\\C:\\a"), L"\\\\?\\C:\\");
  EXPECT_EQ(folderAbove(L"\\\\?\\C:\\"), L"");
  EXPECT_EQ(folderAbove(L"\\\\?\\UNC\\server\\share\\a"), L"\\\\?\\UNC\\server\\share\\");
  EXPECT_EQ(folderAbove(L"\\\\?\\UNC\\server\\share"), L"");
}

TEST(PathParts, AnEntrysNameHasItsFolderAboveAndItsLeaf) {
  EXPECT_EQ(folderAbove(L"data\\more\\x.bin"), L"data\\more");
  EXPECT_EQ(folderAbove(L"x.bin"), L"");
  EXPECT_EQ(lastComponent(L"data\\more\\x.bin"), L"x.bin");
  EXPECT_EQ(lastComponent(L"x.bin"), L"x.bin");
  EXPECT_EQ(lastComponent(L"C:\\"), L"");
  EXPECT_EQ(rootUnits(L"data\\x", 6), 0u);
  EXPECT_EQ(rootUnits(L"C:\\x", 4), 2u);
  EXPECT_EQ(rootUnits(L"\\\\server\\share\\x", 16), 14u);
}

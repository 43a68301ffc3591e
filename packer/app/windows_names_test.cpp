#include "packer/app/windows_names.h"

#include <gtest/gtest.h>

#include "packer/messages/text_encoding.h"
#include "rules/payload_format.h"

namespace {

TEST(WindowsName, AcceptsOrdinaryNames) {
  for (const char16_t* name : {u"a", u"App.exe", u".hidden", u"dir\\sub\\file.tar.gz", u"CONSOLE",
                               u"COM10", u"xCON", u"CON_", u"\u00e9\U0001F600"}) {
    EXPECT_EQ(windowsNameProblem(name), "") << utf16ToUtf8(name);
  }
}

TEST(WindowsName, RefusesCharactersWindowsDoesNotAllow) {
  for (char16_t c : u"<>:\"/|?*") {
    if (c == 0) {
      continue;
    }
    const std::u16string name = std::u16string(u"a") + c + u"b";
    EXPECT_NE(windowsNameProblem(name).find("does not allow"), std::string::npos) << char(c);
  }
  EXPECT_NE(windowsComponentProblem(u"a\\b"), "") << "a backslash inside one component";
  EXPECT_NE(windowsNameProblem(u"tab\there").find("U+0009"), std::string::npos);
  EXPECT_NE(windowsNameProblem(std::u16string(u"nul\0x", 5)), "");
}

TEST(WindowsName, RefusesComponentsEndingInDotOrBlankAndDotFolders) {
  for (const char16_t* name : {u"a.", u"a ", u".", u"..", u"..\\x", u"dir.\\file", u"x\\ "}) {
    EXPECT_NE(windowsNameProblem(name).find("ends in a dot or a blank"), std::string::npos)
        << utf16ToUtf8(name);
  }
}

TEST(WindowsName, RefusesDeviceNamesInAnyCaseWithOrWithoutExtensions) {
  for (const char16_t* name : {u"CON", u"con", u"Prn.txt", u"aux.tar.gz", u"NUL", u"com1",
                               u"COM9.log", u"lpt1", u"LpT9.x", u"dir\\Con.txt", u"aux .txt"}) {
    EXPECT_NE(windowsNameProblem(name).find("is the device"), std::string::npos)
        << utf16ToUtf8(name);
  }
  EXPECT_EQ(windowsNameProblem(u"sub\\com\u00b9 .txt"),
            "\"com\u00b9 .txt\" is the device COM\u00b9 on Windows");
  EXPECT_EQ(windowsNameProblem(u"conOut$.log"), "\"conOut$.log\" is the device CONOUT$ on Windows");
  EXPECT_EQ(windowsNameProblem(u"CONIN$"), "\"CONIN$\" is the device CONIN$ on Windows");
}

TEST(WindowsName, BoundsTheLengthAndRefusesEmptyComponents) {
  EXPECT_EQ(windowsNameProblem(std::u16string(kMaxNameUnits, u'n')), "");
  EXPECT_NE(windowsNameProblem(std::u16string(kMaxNameUnits + 1, u'n')).find("1024"),
            std::string::npos);
  for (const char16_t* name : {u"", u"\\a", u"a\\", u"a\\\\b"}) {
    EXPECT_NE(windowsNameProblem(name), "") << utf16ToUtf8(name);
  }
}

TEST(NameConflict, FindsNamesEqualButForCase) {
  const std::vector<std::vector<std::u16string>> conflicting{
      {u"Readme.txt", u"README.TXT"},
      {u"Data\\a", u"data\\b"},                    // folders
      {u"x\\\u00c9t\u00e9", u"x\\\u00e9T\u00c9"},  // Latin-1
      {u"\u0100", u"\u0101"},                      // Latin Extended-A, even upper
      {u"\u0139", u"\u013a"},                      // Latin Extended-A, odd upper
      {u"\u03a9", u"\u03c9"},                      // Greek
      {u"\u03a3", u"\u03c2"},                      // final sigma
      {u"\u0416", u"\u0436"},                      // Cyrillic
      {u"\u0401", u"\u0451"},                      // Cyrillic with diaeresis
      {u"\u0178", u"\u00ff"},                      // Y with diaeresis
      {u"\uff21", u"\uff41"},                      // full-width
      {u"\u0531", u"\u0561"},                      // Armenian
      {u"\u0386", u"\u03ac"},                      // Greek with tonos
      {u"\u01c4", u"\u01c6"},                      // DZ with caron
      {u"\u01c5", u"\u01c6"},                      // the same in title case
      {u"\u0460", u"\u0461"},                      // Cyrillic omega
      {u"\u24b6", u"\u24d0"},                      // circled letters
  };
  for (const auto& names : conflicting) {
    const auto conflicts = findNameConflicts(names);
    ASSERT_EQ(conflicts.size(), 1u) << utf16ToUtf8(names[1]);
    EXPECT_EQ(conflicts[0].first, names[0].substr(0, conflicts[0].first.size()));
  }
}

TEST(NameConflict, FindsTheSameNameTwiceAndAFileNamedLikeAFolder) {
  EXPECT_EQ(findNameConflicts({u"a", u"a"}).size(), 1u);
  EXPECT_EQ(findNameConflicts({u"lib", u"lib\\x.dll"}).size(), 1u);
  EXPECT_EQ(findNameConflicts({u"LIB", u"lib\\x.dll"}).size(), 1u);
}

TEST(NameConflict, FindsEveryPairOnceAFolderPairOnlyOnce) {
  using Pair = std::pair<std::u16string, std::u16string>;
  EXPECT_EQ(findNameConflicts({u"A.txt", u"B\\x", u"B\\y", u"a.txt", u"b\\z", u"b\\zz"}),
            (std::vector<Pair>{{u"A.txt", u"a.txt"}, {u"B", u"b"}}));
}

TEST(NameConflict, AcceptsDistinctNamesInSharedFolders) {
  // Windows folds no unit into two (sharp s), nor surrogates (Deseret).
  EXPECT_TRUE(findNameConflicts({u"a\\x", u"a\\y", u"a\\b\\x", u"ab", u"\u00df", u"SS", u"\u0130",
                                 u"i", u"\U00010400", u"\U00010428"})
                  .empty());
}

}  // namespace

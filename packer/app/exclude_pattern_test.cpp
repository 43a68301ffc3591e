#include "packer/app/exclude_pattern.h"

#include <gtest/gtest.h>

namespace {

std::vector<ExcludePattern> patterns(std::initializer_list<const char*> texts) {
  std::vector<ExcludePattern> parsed;
  for (const char* text : texts) {
    std::string why;
    std::optional<ExcludePattern> pattern = parseExcludePattern(text, why);
    EXPECT_TRUE(pattern) << text << ": " << why;
    if (pattern) {
      parsed.push_back(*pattern);
    }
  }
  return parsed;
}

// Names as a region holds them: backslash-separated.
TEST(ExcludePattern, MatchesOneNameAtAnyDepthAndLongerPatternsFromTheFolder) {
  const auto oneName = patterns({"*.pdb"});
  for (const char16_t* name : {u"App.pdb", u"bin\\x.PDB", u"a\\b\\c.pdb", u".pdb"}) {
    EXPECT_TRUE(matchingPattern(oneName, name));
  }
  for (const char16_t* name : {u"App.pdb.txt", u"pdb", u"bin\\pdb"}) {
    EXPECT_FALSE(matchingPattern(oneName, name));
  }
  const auto anchored = patterns({"bin/*.map"});
  EXPECT_TRUE(matchingPattern(anchored, u"bin\\app.map"));
  EXPECT_TRUE(matchingPattern(anchored, u"BIN\\app.map"));
  EXPECT_FALSE(matchingPattern(anchored, u"lib\\bin\\app.map"));
  EXPECT_FALSE(matchingPattern(anchored, u"bin\\sub\\app.map"));
}

TEST(ExcludePattern, TakesTwoStarsForAnyNumberOfFoldersAndQuestionMarkForOneCharacter) {
  const auto tests = patterns({"tests/**"});
  for (const char16_t* name : {u"tests", u"tests\\a", u"Tests\\a\\b\\c.txt"}) {
    EXPECT_TRUE(matchingPattern(tests, name));
  }
  EXPECT_FALSE(matchingPattern(tests, u"src\\tests\\a"));
  const auto deep = patterns({"**/cache/?.bin"});
  EXPECT_TRUE(matchingPattern(deep, u"cache\\1.bin"));
  EXPECT_TRUE(matchingPattern(deep, u"a\\b\\cache\\x.bin"));
  EXPECT_FALSE(matchingPattern(deep, u"a\\cache\\xy.bin"));
  EXPECT_TRUE(matchingPattern(patterns({"a*b*c"}), u"aXbYbZc"));
  EXPECT_FALSE(matchingPattern(patterns({"a*b*c"}), u"aXcYb"));

  // Thirteen "**" against 24 folders: trying every way to share the folders out among them
  // would take hours.
  std::string anyFolders;
  for (int i = 0; i < 13; ++i) {
    anyFolders += "**/";
  }
  std::u16string deepName;
  for (int i = 0; i < 24; ++i) {
    deepName += u"d\\";
  }
  deepName += u"f.txt";
  EXPECT_FALSE(matchingPattern(patterns({(anyFolders + "nomatch").c_str()}), deepName));
  EXPECT_TRUE(matchingPattern(patterns({(anyFolders + "d/f.txt").c_str()}), deepName));
}

TEST(ExcludePattern, LeavesOutWhatLiesBelowAFolderThatMatches) {
  const auto folder = patterns({"__pycache__"});
  EXPECT_EQ(excludingPattern(folder, u"lib\\__pycache__\\m.pyc"), &folder[0]);
  EXPECT_FALSE(matchingPattern(folder, u"lib\\__pycache__\\m.pyc"));
  EXPECT_FALSE(excludingPattern(folder, u"lib\\m.py"));
}

TEST(ExcludePattern, RefusesPatternsThatMatchNothing) {
  for (const char* text : {"", "/", "a//b", "./x", "x/../y", "\xff"}) {
    std::string why;
    EXPECT_FALSE(parseExcludePattern(text, why)) << text;
    EXPECT_FALSE(why.empty()) << text;
  }
  std::string why;
  EXPECT_TRUE(parseExcludePattern("/tests/", why)) << "leading and trailing separators";
}

}  // namespace

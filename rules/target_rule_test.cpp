// Where the text after a target spec's first token may lead, as the launcher and the packer
// both decide it.
#include "rules/target_rule.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Reached by the packer's walk, which knows no value, or the launcher's, whose value's last
// name is `valueName`; the names the walk met, "+" marking one that continues the value's.
struct Walked {
  TargetReach reach;
  size_t at;
  std::u16string names;
};

Walked walk(const std::u16string& rest, const std::u16string* valueName = nullptr,
            bool root = false) {
  Walked walked{};
  const auto beginsWithValueName = [&](const char16_t* name, size_t units) {
    return valueName != nullptr && std::u16string(name, units).rfind(*valueName, 0) == 0;
  };
  const TargetWalk result = walkTargetRest(rest.data(), rest.size(), root, beginsWithValueName,
                                           [&](size_t start, size_t units, bool continuesValue) {
                                             walked.names += (continuesValue ? u"+" : u"") +
                                                             rest.substr(start, units) + u" ";
                                           });
  walked.reach = result.reach;
  walked.at = result.at;
  return walked;
}

TEST(TargetRule, KeepsWhatStaysInTheValuesFolderOrGoesOnFromItsName) {
  for (const char16_t* rest : {u"", u"\\x", u".d", u"_data", u"-t", u"x\\X", u"\\a\\..\\b",
                               u"\\.\\x", u"/a/b", u"\\a\\\\b\\", u"-t\\a\\.."}) {
    EXPECT_EQ(walk(rest).reach, TargetReach::kKept) << std::u16string(rest).size();
  }
  EXPECT_EQ(walk(u"-t\\a\\.\\..\\b\\").names, u"+-t a b ");
}

// The text right after the token belongs to the value's last name: its ".." leaves that name,
// not a folder below it.
TEST(TargetRule, TakesTheTextRightAfterTheTokenForTheEndOfTheValuesLastName) {
  const Walked walked = walk(u"x\\..\\y");
  EXPECT_EQ(walked.reach, TargetReach::kLeavesValue);
  EXPECT_EQ(walked.at, 2u);
  EXPECT_EQ(walk(u"x\\..").reach, TargetReach::kLeavesValue);
  EXPECT_EQ(walk(u"x\\y\\..\\..").reach, TargetReach::kLeavesValue);
}

TEST(TargetRule, RefusesAClimbAboveTheFolderThatHoldsTheValue) {
  const Walked walked = walk(u"\\a\\..\\..\\..\\Temp\\x");
  EXPECT_EQ(walked.reach, TargetReach::kClimbsOut);
  EXPECT_EQ(walked.at, 9u);
  EXPECT_EQ(walk(u"/../../x").reach, TargetReach::kClimbsOut);
}

// Only a walk that knows the value can find its way back to it.
TEST(TargetRule, ComesBackToTheValueOnlyUnderANameThatBeginsWithIt) {
  const std::u16string temp = u"Temp";
  EXPECT_EQ(walk(u"\\..\\Temp\\x", &temp).reach, TargetReach::kKept);
  EXPECT_EQ(walk(u"\\..\\Temp2", &temp).reach, TargetReach::kKept);
  EXPECT_EQ(walk(u"\\..\\Tem", &temp).reach, TargetReach::kLeavesValue);
  EXPECT_EQ(walk(u"\\..", &temp).reach, TargetReach::kLeavesValue);
  const Walked unknown = walk(u"\\..\\Temp\\x");
  EXPECT_EQ(unknown.reach, TargetReach::kLeavesValue);
  EXPECT_EQ(unknown.at, 1u);
}

// "C:" followed by ".d" is a path relative to the drive's current folder.
TEST(TargetRule, LetsTextFollowARootValueOnlyAfterASeparator) {
  const std::u16string none;
  EXPECT_EQ(walk(u".d", &none, /* root */ true).reach, TargetReach::kContinuesRoot);
  EXPECT_EQ(walk(u"\\x", &none, /* root */ true).reach, TargetReach::kKept);
  EXPECT_EQ(walk(u"/x\\y", &none, /* root */ true).names, u"x y ");
}

}  // namespace

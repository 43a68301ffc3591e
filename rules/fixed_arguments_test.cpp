// The fixed arguments' token rules that the launcher and the packer share, tested on the host.
#include "rules/fixed_arguments.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// `text` with every {TARGET_DIR} as "<T>", or "refused at N".
std::u16string walked(const std::u16string& text) {
  std::u16string out;
  const size_t at = walkFixedArgument(
      text.data(), text.size(), [&out](char16_t unit) { out += unit; }, [&out] { out += u"<T>"; });
  if (at != text.size()) {
    const std::string number = std::to_string(at);
    return u"refused at " + std::u16string(number.begin(), number.end());
  }
  return out;
}

TEST(FixedArguments, ExpandsTheTargetDirectoryTokenInAnyAsciiCase) {
  EXPECT_EQ(walked(u"{TARGET_DIR}\\tool\\cli.js"), u"<T>\\tool\\cli.js");
  EXPECT_EQ(walked(u"--a={target_dir};{Target_Dir}"), u"--a=<T>;<T>");
  EXPECT_EQ(walked(u"plain \u00e9 \"text\""), u"plain \u00e9 \"text\"");
  EXPECT_EQ(walked(u""), u"");
}

TEST(FixedArguments, RefusesEveryOtherBraceAtItsPosition) {
  EXPECT_EQ(walked(u"a{TEMP}"), u"refused at 1");
  EXPECT_EQ(walked(u"{}"), u"refused at 0");
  EXPECT_EQ(walked(u"ab}"), u"refused at 2");
  EXPECT_EQ(walked(u"{TARGET_DIR"), u"refused at 0");
  EXPECT_EQ(walked(u"{TAR{TARGET_DIR}"), u"refused at 0");
  EXPECT_EQ(walked(u"{TARGET_DIR}{TARGET_DIR }"), u"refused at 12");
}

TEST(FixedArguments, CountsTheLongestTargetDirectoryQuotedAndEscaped) {
  // A blank, two quotes and every unit doubled.
  EXPECT_EQ(longestQuotedFixedArgument(3, 0), 9u);
  EXPECT_EQ(longestQuotedFixedArgument(sizeof "{TARGET_DIR}" - 1, 1), 3 + 2 * (kPathUnits - 1));
}

}  // namespace

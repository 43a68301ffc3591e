// The token names the launcher and the packer share, tested on the host.
#include "rules/spec_tokens.h"

#include <gtest/gtest.h>

#include <string>

namespace {

SpecToken tokenOf(const std::u16string& name) {
  return specToken(name.data(), name.size());
}

TEST(SpecTokens, FindsEveryNameInAnyAsciiCaseAndNothingElse) {
  for (const SpecTokenName& entry : kSpecTokens) {
    const std::string name = entry.name;
    std::u16string upper(name.begin(), name.end()), lower;
    for (char16_t unit : upper)
      lower += unit >= u'A' && unit <= u'Z' ? unit + 0x20 : unit;
    EXPECT_EQ(tokenOf(upper), entry.token) << name;
    EXPECT_EQ(tokenOf(lower), entry.token) << name;
  }
  for (const char16_t* other : {u"", u"TIM", u"TIMES", u"TIME_", u"T\u00c9MP", u"CACHE"}) {
    EXPECT_EQ(tokenOf(other), SpecToken::kUnknown) << std::u16string(other).size();
  }
  const wchar_t wide[] = L"program_dir";
  EXPECT_EQ(specToken(wide, 11), SpecToken::kProgramDir) << "the launcher's wide names";
}

TEST(SpecTokens, MarksTheTokensWhoseValueIsAFullPath) {
  std::u16string fullPaths;
  for (const SpecTokenName& entry : kSpecTokens) {
    if (entry.fullPath) {
      fullPaths +=
          std::u16string(entry.name, entry.name + std::char_traits<char>::length(entry.name)) +
          u" ";
    }
  }
  EXPECT_EQ(fullPaths, u"TEMP PROGRAM PROGRAM_BASE PROGRAM_DIR HOME CACHE_DIR ");
}

}  // namespace

#include "packer/target_spec.h"

#include <gtest/gtest.h>

#include "packer/text_encoding.h"

namespace {

TEST(TargetSpec, AcceptsEveryTokenInAnyAsciiCase) {
  for (const char16_t* spec :
       {u"{CACHE_DIR}\\ZarvelDynamics\\Tessaline-Deck\\1.20", u"{cache_dir}\\x", u"{Temp}",
        u"{PROGRAM}{PROGRAM_BASE}{PROGRAM_DIR}{PID}{HOME}", u"{COMPANY}{PRODUCT}{VERSION}",
        u"{FILE_VERSION}{PRODUCT_VERSION}{RANDOM}{TIME_US}{time}", u"C:\\plain path"}) {
    EXPECT_EQ(targetSpecProblem(spec), "") << utf16ToUtf8(spec);
  }
}

TEST(TargetSpec, RefusesWhatTheLauncherWouldRefuseOrDropSilently) {
  const std::pair<std::u16string, const char*> cases[] = {
      {u"", "is empty"},
      {u"{}\\x", "empty token name"},
      {u"{CACHE}\\x", "unknown token \"{CACHE}\""},
      {u"{T\u00c9MP}", "unknown token"},
      {u"a}b", "\"}\" with no open name"},
      {u"{A{TEMP}", "\"{\" inside the open name \"{A\""},
      {u"abc{TEMP", "never closed: \"{TEMP\""},
  };
  for (const auto& [spec, words] : cases) {
    EXPECT_NE(targetSpecProblem(spec).find(words), std::string::npos)
        << words << ": " << targetSpecProblem(spec);
  }
}

TEST(TargetSpec, TakesAtMost4095Units) {
  EXPECT_EQ(targetSpecProblem(std::u16string(kMaxTargetSpecUnits, u'x')), "");
  EXPECT_NE(targetSpecProblem(std::u16string(kMaxTargetSpecUnits + 1, u'x')).find("4096"),
            std::string::npos);
}

}  // namespace

#include "packer/config/target_spec.h"

#include <gtest/gtest.h>

#include "packer/messages/text_encoding.h"

namespace {

// Every problem of `spec`, one a line.
std::string targetSpecProblem(std::u16string_view spec) {
  std::string text;
  for (const std::string& problem : targetSpecProblems(spec)) {
    text += (text.empty() ? "" : "\n") + problem;
  }
  return text;
}

TEST(TargetSpec, AcceptsEveryTokenInAnyAsciiCase) {
  for (const char16_t* spec :
       {u"{CACHE_DIR}\\ZarvelDynamics\\Tessaline-Deck\\1.20", u"{cache_dir}\\x", u"{Temp}",
        u"{PROGRAM}", u"{PROGRAM_BASE}", u"{PROGRAM_DIR}{PID}",
        u"{TEMP}{COMPANY}{PRODUCT}{VERSION}",
        u"{HOME}{FILE_VERSION}{PRODUCT_VERSION}{RANDOM}{TIME_US}{time}", u"C:\\plain path", u"d:\\",
        u"\\\\server\\share\\{PRODUCT}", u"{PROGRAM_BASE}-data"}) {
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
  EXPECT_EQ(targetSpecProblem(u"C:\\" + std::u16string(kMaxTargetSpecUnits - 3, u'x')), "");
  EXPECT_NE(targetSpecProblem(u"C:\\" + std::u16string(kMaxTargetSpecUnits - 2, u'x')).find("4096"),
            std::string::npos);
}

TEST(TargetSpec, RefusesASpecThatDependsOnTheFolderTheLauncherStartsIn) {
  for (const char16_t* spec :
       {u"MyApp", u"{COMPANY}\\App", u"\\App", u"C:App", u"C:", u"\\\\server", u"\\\\server\\",
        u"\\\\\\share", u"{VERSION}{TEMP}"}) {
    const std::string problem = targetSpecProblem(spec);
    EXPECT_EQ(problem.rfind("is not absolute", 0), 0u) << utf16ToUtf8(spec) << ": " << problem;
    EXPECT_NE(problem.find("{TEMP}, {PROGRAM}, {PROGRAM_BASE}, {PROGRAM_DIR}, {HOME}, {CACHE_DIR}"),
              std::string::npos)
        << problem;
  }
}

TEST(TargetSpec, RefusesLiteralCharactersNoWindowsPathCanHold) {
  const std::pair<std::u16string, const char*> cases[] = {
      {u"{TEMP}\\a<b", "holds \"<\" at unit 9, which no Windows path can hold"},
      {u"{TEMP}\\a|b", "holds \"|\" at unit 9"},
      {u"{TEMP}\\what?", "holds \"?\" at unit 12"},
      {u"{TEMP}\\*", "holds \"*\""},
      {u"{TEMP}\\say \"hi\"", "holds \"\"\" at unit 12"},
      {u"1:\\x", "holds \":\" at unit 2"},
      {u"C:\\a:b",
       "holds \":\" at unit 5, which no Windows path can hold but after a drive letter"},
      {u"{TEMP}\\new\nline", "holds the control character U+000A at unit 11"},
      {u"\\\\?\\C:\\x", "holds \"?\" at unit 3"},
  };
  for (const auto& [spec, words] : cases) {
    EXPECT_NE(targetSpecProblem(spec).find(words), std::string::npos)
        << words << ": " << targetSpecProblem(spec);
  }
  EXPECT_NE(targetSpecProblem(u"{TEMP}\\a\tb").find("single-quoted"), std::string::npos);
  // Inside a token the same characters are a token's problem, not a path's.
  EXPECT_NE(targetSpecProblem(u"{TEMP}\\{A?B}").find("unknown token"), std::string::npos);
}

TEST(TargetSpec, NamesEveryProblemWithItsFix) {
  EXPECT_EQ(targetSpecProblems(u"{CACHE_DIR}\\{APPDATA}\\a?b\\<product>\\{TEMP}"),
            (std::vector<std::string>{
                "has the unknown token \"{APPDATA}\" (did you mean {CACHE_DIR}?); the tokens are "
                "{TEMP}, {PROGRAM}, {PROGRAM_BASE}, {PROGRAM_DIR}, {PID}, {HOME}, {CACHE_DIR}, "
                "{COMPANY}, {PRODUCT}, {VERSION}, {FILE_VERSION}, {PRODUCT_VERSION}, {RANDOM}, "
                "{TIME_US}, {TIME}",
                "holds \"?\" at unit 24, which no Windows path can hold",
                "holds \"<product>\", which is a placeholder that tarnic-pack init wrote: replace "
                "it with a folder name",
                "has {TEMP} at unit 37: {TEMP} gives a full path, which may only start the spec"}));
  EXPECT_NE(targetSpecProblem(u"{CACHE}").find("(did you mean {CACHE_DIR}?)"), std::string::npos);
}

// Only the user's own folders keep others from changing what the launcher starts.
TEST(SharedTarget, IsAnyTargetOutsideTheUsersOwnFolders) {
  for (const char16_t* spec : {u"{CACHE_DIR}\\Co\\App", u"{home}\\x..y\\..z", u"{Temp}"}) {
    EXPECT_EQ(sharedTargetProblem(spec), "") << utf16ToUtf8(spec);
  }
  for (const char16_t* spec : {u"C:\\Apps\\x", u"\\\\server\\share\\x", u"{PROGRAM_DIR}\\x",
                               u"{PROGRAM_BASE}", u"{TEMP}\\..\\..\\Public", u"{HOME}/../x"}) {
    EXPECT_NE(sharedTargetProblem(spec).find("shared_target = true"), std::string::npos)
        << utf16ToUtf8(spec);
  }
}

// A value put in place of a token leaves the user's folder as the same text written out would.
TEST(SharedTarget, IsATargetThatATokensValueLeads) {
  const std::vector<TokenValue> values{{SpecToken::kCompany, u"..", "version.company", "x"},
                                       {SpecToken::kProduct, u"A/B", "version.product", "y"}};
  EXPECT_EQ(sharedTargetProblem(u"{CACHE_DIR}\\{VERSION}", values), "");
  EXPECT_NE(sharedTargetProblem(u"{CACHE_DIR}\\{company}", values).find("a \"..\" name"),
            std::string::npos);
  EXPECT_NE(sharedTargetProblem(u"{HOME}\\{PRODUCT}", values).find("holds \"/\""),
            std::string::npos);
}

}  // namespace

#include "launcher/child_command_line.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/probe.h"
#include "tests/support/process.h"
#include "tests/support/system_seams.h"

namespace {

const std::wstring kTool = L"D:\\Apps\\tool.exe";
constexpr wchar_t kTargetDirectory[] = L"C:\\Users\\A B\\Target";

// The child's line for `tail`, with the test configuration's fixed arguments.
std::wstring format(const std::wstring& program, const std::wstring& tail) {
  static wchar_t line[kCommandLineUnits];
  formatChildCommandLine(program.c_str(), fixedArguments(), kTargetDirectory, tail.c_str(), line,
                         kCommandLineUnits);
  return line;
}

// What the test configuration's fixed arguments become.
const std::wstring kFixedText = L" \"C:\\Users\\A B\\Target\\tool\\cli.js\" \"two words\"";

}  // namespace

TARNIC_PROBE(print_child_line) {
  fputs(narrow(buildChildCommandLine(kTargetDirectory)).c_str(), stdout);
}
TARNIC_PROBE(child_line_without_module_name) {
  failModuleFileName();
  buildChildCommandLine(kTargetDirectory);
}
// The tool, the fixed arguments and a tail of blanks make exactly 32767 characters.
std::wstring tailFilling32767() {
  return std::wstring(kCommandLineUnits - 1 - kTool.size() - kFixedText.size(), L' ');
}
TARNIC_PROBE(line_of_32768) {
  format(kTool, tailFilling32767() + L"x");
}
TARNIC_PROBE(fixed_argument_with_another_token) {
  wchar_t line[kCommandLineUnits];
  const wchar_t fixed[] = L"{TARGET_DIR}\\{TEMP}";
  formatChildCommandLine(kTool.c_str(), {fixed, std::size(fixed)}, kTargetDirectory, L"", line,
                         kCommandLineUnits);
}

TEST(ChildCommandLine, FindsTheEndOfTheFirstElementAsTheSystemsParsersDo) {
  const std::pair<std::wstring, std::wstring> rows[] = {
      {L"tool.exe a b", L" a b"},
      {L"tool.exe\ta", L"\ta"},
      {L"\"D:\\My Apps\\tool.exe\" a", L" a"},
      {L"\"D:\\My Apps\\tool.exe\"a", L"a"},  // the closing quote ends it
      {L"\"D:\\unclosed a b", L""},
      {L"to\"ol a\" b", L" a\" b"},  // no quote counts after the start
      {L"tool\\\"x y", L" y"},       // nor does a backslash
      {L"tool.exe", L""},
      {L"", L""},
  };
  for (const auto& [line, tail] : rows) {
    EXPECT_EQ(afterFirstElement(line.c_str()), tail) << narrow(line);
  }
}

TEST(ChildCommandLine, PutsTheQuotedPathAndTheFixedArgumentsBeforeTheTailAsTyped) {
  EXPECT_EQ(format(kTool, L" \"a \"\"b\"\" c\"  \"\" x\\\"y"),
            kTool + kFixedText + L" \"a \"\"b\"\" c\"  \"\" x\\\"y");
  EXPECT_EQ(format(L"D:\\Program Files\\tool.exe", L"a"),
            L"\"D:\\Program Files\\tool.exe\"" + kFixedText + L" a");
}

TEST(ChildCommandLine, EndsAbnormallyWhenTheLineWouldExceed32767Characters) {
  EXPECT_EQ(format(kTool, tailFilling32767()).size(), kCommandLineUnits - 1);
  // One character more leaves no room for the terminator.
  ProcessResult r = runProbe("line_of_32768");
  EXPECT_EQ(r.exitCode, kFastFailStatus);
  EXPECT_EQ(r.out + r.err, "");
}

TEST(ChildCommandLine, EndsAbnormallyForAFixedArgumentWithAnotherToken) {
  ProcessResult r = runProbe("fixed_argument_with_another_token");
  EXPECT_EQ(r.exitCode, kFastFailStatus);
  EXPECT_EQ(r.out + r.err, "");
}

TEST(ChildCommandLine, PutsTheModulePathFirstWhateverTheLauncherWasStartedAs) {
  std::wstring self = ownPath();
  std::wstring folder = self.substr(0, self.rfind(L'\\'));
  std::wstring typed = L"LAUNCHER_TEST";  // a relative name without extension
  ProcessOptions options;
  options.currentDirectory = folder;
  ProcessResult r =
      runProcess(self, typed + L" --probe print_child_line  \"a b\" \"\" x\\\"y", options);
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(r.out, narrow(quoteArgument(self) + kFixedText +
                          L" --probe print_child_line  \"a b\" \"\" x\\\"y"));
}

TEST(ChildCommandLine, EndsAbnormallyWithoutTheModuleName) {
  ProcessResult r = runProbe("child_line_without_module_name");
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_EQ(r.exitCode, kFastFailStatus);
}

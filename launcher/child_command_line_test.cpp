#include "launcher/child_command_line.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <random>
#include <string>
#include <vector>

#include "tests/support/probe.h"
#include "tests/support/process.h"
#include "tests/support/system_seams.h"

namespace {

const std::wstring kTool = L"D:\\Apps\\tool.exe";

std::wstring format(std::vector<std::wstring> arguments) {
  std::vector<const wchar_t*> pointers;
  for (const auto& argument : arguments)
    pointers.push_back(argument.c_str());
  static wchar_t line[kCommandLineUnits];
  formatCommandLine(pointers.data(), static_cast<int>(pointers.size()), line, kCommandLineUnits);
  return line;
}

std::vector<std::wstring> split(const std::wstring& line) {
  int count = 0;
  wchar_t** parts = CommandLineToArgvW(line.c_str(), &count);
  std::vector<std::wstring> arguments(parts, parts + count);
  LocalFree(parts);
  return arguments;
}

}  // namespace

TARNIC_PROBE(print_child_line) {
  fputs(narrow(buildChildCommandLine()).c_str(), stdout);
}
TARNIC_PROBE(child_line_without_split) {
  failCommandLineSplit();
  buildChildCommandLine();
}
TARNIC_PROBE(child_line_without_module_name) {
  failModuleFileName();
  buildChildCommandLine();
}
// The tool, a blank and 16374 escaped quotes in quotes make exactly 32767 characters.
std::wstring quotesFilling32767() {
  return std::wstring((kCommandLineUnits - 1 - kTool.size() - 1 - 2) / 2, L'"');
}

TARNIC_PROBE(line_of_32768) {
  format({kTool, quotesFilling32767() + L"x"});
}
TARNIC_PROBE(overlong_line) {
  // 16384 quotes grow to 32768 characters, with the enclosing quotes more than the buffer.
  format({kTool, std::wstring(16384, L'"')});
}

TEST(ChildCommandLine, QuotesOnlyWhatTheSplitterWouldChange) {
  struct Row {
    std::vector<std::wstring> arguments;
    std::wstring line;
  };
  const Row rows[] = {
      {{L"alpha", L"beta"}, L"D:\\Apps\\tool.exe alpha beta"},
      {{L"two words"}, L"D:\\Apps\\tool.exe \"two words\""},
      {{L"say \"hi\""}, L"D:\\Apps\\tool.exe \"say \\\"hi\\\"\""},
      {{L"D:\\my dir\\"}, L"D:\\Apps\\tool.exe \"D:\\my dir\\\\\""},
      {{L"D:\\plain\\"}, L"D:\\Apps\\tool.exe D:\\plain\\"},
      {{L"a\\\\\"b"}, L"D:\\Apps\\tool.exe \"a\\\\\\\\\\\"b\""},
      {{L"a\\b c"}, L"D:\\Apps\\tool.exe \"a\\b c\""},
      {{L"\""}, L"D:\\Apps\\tool.exe \"\\\"\""},
      {{L"a", L"", L"b"}, L"D:\\Apps\\tool.exe a \"\" b"},
      {{}, L"D:\\Apps\\tool.exe"},
      {{L"tab\there", L"line\nfeed", L"vertical\vtab"},
       L"D:\\Apps\\tool.exe \"tab\there\" \"line\nfeed\" \"vertical\vtab\""},
      {{L"cr\rff\f"}, L"D:\\Apps\\tool.exe cr\rff\f"},
  };
  for (const Row& row : rows) {
    std::vector<std::wstring> arguments = {kTool};
    arguments.insert(arguments.end(), row.arguments.begin(), row.arguments.end());
    EXPECT_EQ(format(arguments), row.line);
  }
  EXPECT_EQ(format({L"D:\\Program Files\\Tool\\tool.exe", L"-v"}),
            L"\"D:\\Program Files\\Tool\\tool.exe\" -v");
}

TEST(ChildCommandLine, SplitsBackIntoTheSameArgumentsForRandomLists) {
  const std::wstring pieces[] = {L"",   L" ",      L"\t",     L"\"",         L"\\", L"\\\\", L"a",
                                 L"bc", L"\u00e9", L"\u4e2d", L"\U0001F600", L"\n", L"\v",   L"'"};
  std::mt19937 random(20261207);
  for (int round = 0; round < 2000; ++round) {
    std::vector<std::wstring> arguments = {kTool};
    int count = random() % 6;
    for (int i = 0; i < count; ++i) {
      std::wstring argument;
      int length = random() % 8;
      for (int j = 0; j < length; ++j)
        argument += pieces[random() % std::size(pieces)];
      arguments.push_back(argument);
    }
    std::wstring line = format(arguments);
    ASSERT_EQ(split(line), arguments) << "line: " << narrow(line);
  }
}

TEST(ChildCommandLine, EndsAbnormallyWhenTheLineWouldExceed32767Characters) {
  ProcessResult r = runProbe("overlong_line");
  EXPECT_EQ(r.exitCode, kFastFailStatus);
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_EQ(format({kTool, quotesFilling32767()}).size(), kCommandLineUnits - 1);
  // One character more leaves no room for the terminator.
  EXPECT_EQ(runProbe("line_of_32768").exitCode, kFastFailStatus);
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
  EXPECT_EQ(r.out,
            narrow(quoteArgument(self) + L" --probe print_child_line \"a b\" \"\" \"x\\\"y\""));
}

TEST(ChildCommandLine, EndsWithTheMemoryMessageWhenTheSystemCannotSplitTheLine) {
  ProcessResult r = runProbe("child_line_without_split");
  EXPECT_EQ(r.out, "Error, couldn't allocate memory.\r\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 2u);
}

TEST(ChildCommandLine, EndsAbnormallyWithoutTheModuleName) {
  ProcessResult r = runProbe("child_line_without_module_name");
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_EQ(r.exitCode, kFastFailStatus);
}

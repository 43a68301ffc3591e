// Real launchers, packed by the packer, started as a user or script would start them.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/support/process.h"

namespace {

std::vector<std::wstring> withLauncherFirst(const std::wstring& name,
                                            std::vector<std::wstring> arguments) {
  arguments.insert(arguments.begin(), launcherPath(name));
  return arguments;
}

std::wstring versionString(const std::wstring& exe, const wchar_t* key) {
  DWORD size = GetFileVersionInfoSizeW(exe.c_str(), nullptr);
  std::vector<char> block(size);
  GetFileVersionInfoW(exe.c_str(), 0, size, block.data());
  wchar_t* value = nullptr;
  UINT length = 0;
  std::wstring path = std::wstring(L"\\StringFileInfo\\000004b0\\") + key;
  if (!VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length))
    return L"<missing>";
  return value;
}

}  // namespace

namespace {

std::vector<std::wstring> withoutFirst(const std::vector<std::wstring>& arguments) {
  return arguments.empty() ? arguments
                           : std::vector<std::wstring>(arguments.begin() + 1, arguments.end());
}

// Tails as users type them: quotes doubled inside quotes as cmd users escape them, escaped
// quotes, trailing backslashes, empty arguments and blanks of every kind.
std::vector<std::wstring> typedTails() {
  std::vector<std::wstring> tails = {
      L"\"He said \"\"hi\"\" to me\" next",
      L"\"--title=\"\"My App\"\"\" last",
      L"a \"my \"\"best\"\" archive.7z\" x",
      L"alpha beta",
      L"say \\\"hi\\\" \"D:\\my dir\\\\\" D:\\plain\\ a\\\\\\\"b",
      L"a \"\" b \"\"",
      L"",
      L"  \t spaced\t\t out  ",
      L"\"\"\" \"\"\"\" \"unclosed",
      L"cr\rff\f \"tab\there\" \u00e9\U0001F600",
  };
  const std::wstring pieces[] = {L" ", L"\t", L"\"",     L"\"\"",   L"\\",         L"\\\\",
                                 L"a", L"b",  L"\u00e9", L"\u4e2d", L"\U0001F600", L"'"};
  std::mt19937 random(16);
  for (int round = 0; round < 20; ++round) {
    std::wstring tail;
    for (int j = random() % 12; j > 0; --j)
      tail += pieces[random() % std::size(pieces)];
    tails.push_back(tail);
  }
  return tails;
}

}  // namespace

TEST(LauncherCommandLine, GivesTheChildTheArgumentsBothParsersFindStartedDirectly) {
  const std::wstring exe = launcherPath(L"basic");
  for (const std::wstring& tail : typedTails()) {
    Launch through = launchAs(exe, quoteArgument(exe) + L" " + tail);
    ASSERT_EQ(through.process.exitCode, 0u) << through.process.err;
    const std::wstring child = through.report.module;
    Report direct = parseReport(runProcess(child, quoteArgument(child) + L" " + tail).out);
    ASSERT_FALSE(direct.arguments.empty()) << narrow(tail);
    EXPECT_EQ(through.report.arguments.at(0), exe);
    EXPECT_EQ(through.report.runtimeArguments.at(0), exe);
    EXPECT_EQ(withoutFirst(through.report.arguments), withoutFirst(direct.arguments))
        << narrow(tail);
    EXPECT_EQ(withoutFirst(through.report.runtimeArguments), withoutFirst(direct.runtimeArguments))
        << narrow(tail);
  }
}

TEST(LauncherCommandLine, EndsAnOddFirstElementWhereTheSystemsSplitterDoes) {
  // Whatever the parent put first, the launcher's and the child's application name given. Wine's
  // C runtime ends these first elements elsewhere, so only the system splitter's view is
  // compared here.
  const std::wstring firsts[] = {L"\"basic.exe\"next", L"ba\"sic x\"y", L"basic\\\"x y\"z",
                                 L"\"basic"};
  const std::wstring exe = launcherPath(L"basic");
  for (const std::wstring& first : firsts) {
    const std::wstring line = first + L" \"two words\" z";
    Launch through = launchAs(exe, line);
    ASSERT_EQ(through.process.exitCode, 0u) << through.process.err;
    Report direct = parseReport(runProcess(through.report.module, line).out);
    ASSERT_FALSE(direct.arguments.empty()) << narrow(line);
    EXPECT_EQ(withoutFirst(through.report.arguments), withoutFirst(direct.arguments))
        << narrow(line);
  }
}

TEST(LauncherCommandLine, PutsTheFixedArgumentsWithTheTargetDirectoryBeforeTheUsers) {
  Launch r = launch(L"fixed_arguments", {L"user's", L""});
  ASSERT_EQ(r.process.exitCode, 0u) << r.process.err;
  const std::wstring target = r.temp + L"\\e2e\\fixed arguments";
  const std::vector<std::wstring> expected = withLauncherFirst(
      L"fixed_arguments",
      {target + L"\\tool\\cli.js", L"two words", L"", target + L"\\", L"a b\\\\", L"user's", L""});
  EXPECT_EQ(r.report.runtimeArguments, expected);
  EXPECT_EQ(r.report.arguments, expected);
  EXPECT_EQ(variable(r, "TARNIC_ONEFILE_TARGET"), target);
}

TEST(LauncherCommandLine, EndsAbnormallyBeforeAnyChildWhenTheLineWouldNotFit) {
  // A launcher started through its short name with a line of 32766 characters: its full path
  // in the child's line makes that longer than 32767.
  std::wstring line = L"basic " + std::wstring(32760, L'x');
  ProcessOptions options;
  options.currentDirectory = testFolder();
  Launch r = launchAs(launcherPath(L"basic"), line, options);
  EXPECT_EQ(r.process.exitCode, kFastFailStatus);
  EXPECT_EQ(r.process.out + r.process.err, "");
}

TEST(LauncherEnvironment, PublishesItsProcessDirectoryAndArgv0) {
  ProcessOptions options;
  options.setEnvironment[L"TARNIC_ONEFILE_PARENT"] = L"99999";
  options.setEnvironment[L"TARNIC_E2E_MARKER"] = L"passed \u00e9";
  options.currentDirectory = testFolder();
  // Started through a relative name without extension, as typed at a prompt.
  Launch r = launchAs(launcherPath(L"basic"), L"basic --flag", options);
  ASSERT_EQ(r.process.exitCode, 0u) << r.process.err;
  EXPECT_EQ(r.report.arguments, withLauncherFirst(L"basic", {L"--flag"}));
  EXPECT_EQ(variable(r, "TARNIC_ONEFILE_PARENT"), std::to_wstring(r.report.parent));
  EXPECT_EQ(variable(r, "TARNIC_ONEFILE_DIRECTORY"), testFolder());
  EXPECT_EQ(variable(r, "TARNIC_ORIGINAL_ARGV0"), L"basic");
  EXPECT_EQ(variable(r, "TARNIC_E2E_MARKER"), L"passed \u00e9");
  EXPECT_EQ(r.report.cwd, testFolder());
  EXPECT_EQ(r.report.module, r.temp + L"\\e2e\\basic\\report.exe");
}

TEST(LauncherEnvironment, PublishesTheBareDriveForALauncherAtADriveRoot) {
  std::wstring root = L"C:\\tarnic-e2e-root.exe";
  ASSERT_TRUE(CopyFileW(launcherPath(L"basic").c_str(), root.c_str(), FALSE));
  Launch r = launchAs(root, quoteArgument(root));
  DeleteFileW(root.c_str());
  EXPECT_EQ(r.process.exitCode, 0u);
  EXPECT_EQ(variable(r, "TARNIC_ONEFILE_DIRECTORY"), L"C:");
}

TEST(LauncherEnvironment, RemovesInheritedPublishedValuesAndPublishesItsOwn) {
  ProcessOptions inherited;
  inherited.setEnvironment[L"TARNIC_ONEFILE_START"] = L"1";
  inherited.setEnvironment[L"TARNIC_ONEFILE_TIME_US"] = L"2";
  inherited.setEnvironment[L"TARNIC_ONEFILE_RANDOM"] = L"3";
  Launch plain = launch(L"basic", {}, inherited);
  for (const char* name :
       {"TARNIC_ONEFILE_START", "TARNIC_ONEFILE_TIME_US", "TARNIC_ONEFILE_RANDOM"})
    EXPECT_EQ(variable(plain, name), L"<unset>") << name;

  Launch tokens = launch(L"tokens", {}, inherited);
  ASSERT_EQ(tokens.process.exitCode, 0u) << tokens.process.err;
  std::wstring own = variable(tokens, "TARNIC_ONEFILE_RANDOM") + L"-" +
                     variable(tokens, "TARNIC_ONEFILE_START") + L"-" +
                     variable(tokens, "TARNIC_ONEFILE_TIME_US");
  EXPECT_EQ(variable(tokens, "TARNIC_ONEFILE_RANDOM").size(), 11u);
  EXPECT_EQ(tokens.report.module, tokens.temp + L"\\e2e\\" + own + L"\\report.exe");
}

TEST(LauncherEnvironment, ExpandsCompiledInValuesThatTheVersionBlockCarriesToo) {
  Launch r = launch(L"versioned");
  ASSERT_EQ(r.process.exitCode, 0u) << r.process.err;
  std::wstring exe = launcherPath(L"versioned");
  std::wstring expected = r.temp + L"\\e2e\\" + versionString(exe, L"CompanyName") + L"\\" +
                          versionString(exe, L"ProductName") + L"\\1.2.3.4\\" +
                          versionString(exe, L"FileVersion") + L"\\" +
                          versionString(exe, L"ProductVersion") + L"\\report.exe";
  EXPECT_EQ(r.report.module, expected);
  EXPECT_EQ(versionString(exe, L"ProductName"), L"Tessaline \u00dcn\u00efcode");
}

TEST(LauncherTargetDirectory, NamesTheCompiledInSpecWhenItCannotBeExpanded) {
  // A temporary directory of 200 characters leaves no room for the spec's 4000 that follow.
  std::wstring temp = freshTemp() + L"\\" + std::wstring(180, L't');
  ProcessOptions options;
  options.setEnvironment[L"TMP"] = temp;
  ProcessResult r = runProcess(launcherPath(L"long_spec"), L"long_spec", options);
  EXPECT_EQ(r.err,
            "Error, couldn't runtime expand spec '{TEMP}\\" + std::string(4000, 'x') + "'.\r\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.exitCode, kFastFailStatus);
}

TEST(LauncherTargetDirectory, StaysTheSameUnderAnotherNameAndForATwinLauncher) {
  std::wstring temp = freshTemp();
  ProcessOptions options;
  options.setEnvironment[L"TMP"] = temp;
  std::wstring target = temp + L"\\e2e\\basic";
  ProcessResult first = runProcess(launcherPath(L"basic"), L"basic", options);
  ASSERT_EQ(parseReport(first.out).module, target + L"\\report.exe");

  // Marks every unpacked file as written long ago, so that a rewrite shows in its time.
  FILETIME old{0, 0x01C00000};
  for (const std::wstring& name : filesBelow(target)) {
    HANDLE file = CreateFileW((target + L"\\" + name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    SetFileTime(file, nullptr, nullptr, &old);
    CloseHandle(file);
  }
  std::wstring renamed = temp + L"\\Other Name.exe";
  ASSERT_TRUE(CopyFileW(launcherPath(L"basic").c_str(), renamed.c_str(), FALSE));
  for (const std::wstring& exe : {renamed, launcherPath(L"basic_twin")}) {
    Report report = parseReport(runProcess(exe, quoteArgument(exe), options).out);
    EXPECT_EQ(report.module, target + L"\\report.exe") << narrow(exe);
  }
  for (const std::wstring& name : filesBelow(target)) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    GetFileAttributesExW((target + L"\\" + name).c_str(), GetFileExInfoStandard, &data);
    EXPECT_EQ(data.ftLastWriteTime.dwHighDateTime, old.dwHighDateTime)
        << narrow(name) << " was written again";
  }
}

TEST(LauncherStreams, HandsTheChildItsStandardOutputAndError) {
  Launch r = launch(L"basic", {L"--stderr", L"to standard error"});
  EXPECT_EQ(r.process.err, "to standard error\r\n");
  EXPECT_FALSE(r.report.module.empty()) << "the report came through standard output";
}

TEST(LauncherExitCode, PassesTheChildsCodeThroughUnchanged) {
  for (uint32_t code : {0u, 3u, 259u, 0xDEADBEEFu}) {
    Launch r = launch(L"basic", {L"--exit", std::to_wstring(code)});
    EXPECT_EQ(r.process.exitCode, code);
  }
  Launch crash = launch(L"basic", {L"--crash"});
  EXPECT_EQ(crash.process.exitCode, static_cast<uint32_t>(EXCEPTION_ACCESS_VIOLATION));
}

TEST(LauncherChild, StartsTheFirstEntryEvenInASubfolderWithOthersAfterIt) {
  Launch r = launch(L"subfolder");
  ASSERT_EQ(r.process.exitCode, 0u) << r.process.err;
  std::wstring target = r.temp + L"\\e2e\\subfolder";
  EXPECT_EQ(r.report.module, target + L"\\bin\\report.exe");
  EXPECT_NE(GetFileAttributesW((target + L"\\a-first.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesW((target + L"\\zz\\later.exe").c_str()), INVALID_FILE_ATTRIBUTES);
}

// Earlier packers declared a window of 2^27 bytes whatever the stream; this region's frame
// reaches back 40 MiB.
TEST(LauncherPayload, UnpacksARegionWithTheWindowEarlierPackersDeclared) {
  Launch r = launch(L"old_window");
  ASSERT_EQ(r.process.exitCode, 0u) << r.process.err;
  std::wstring target = r.temp + L"\\e2e\\old window";
  EXPECT_EQ(r.report.module, target + L"\\report.exe");
  std::optional<std::string> unpacked = readWholeFile(target + L"\\data\\far-repeat.bin");
  ASSERT_TRUE(unpacked.has_value());
  EXPECT_TRUE(unpacked ==
              readWholeFile(testFolder() + L"\\apps\\old_window\\data\\far-repeat.bin"));
}

// Both of the application's programs are filtered entries; the DLL's code sections end in forms
// at every alignment. Each file comes out byte-exact, and a filtered file damaged on disk is
// found by its checksum at the next start and written again from the region.
TEST(LauncherPayload, UnpacksFilteredProgramsByteExactAndRepairsADamagedOne) {
  const std::wstring app = testFolder() + L"\\apps\\filtered";
  ProcessOptions options;
  options.setEnvironment[L"TMP"] = freshTemp();
  const std::wstring target = options.setEnvironment[L"TMP"] + L"\\e2e\\filtered";
  ProcessResult first = runLauncher(launcherPath(L"filtered"), L"filtered", options);
  ASSERT_EQ(first.exitCode, 0u) << first.err;
  EXPECT_EQ(parseReport(first.out).module, target + L"\\report.exe");
  for (const wchar_t* name : {L"\\report.exe", L"\\lib\\branches.dll"}) {
    std::optional<std::string> unpacked = readWholeFile(target + name);
    ASSERT_TRUE(unpacked.has_value()) << "no " << narrow(name);
    EXPECT_TRUE(unpacked == readWholeFile(app + name)) << narrow(name) << " differs";
  }
  const std::wstring library = target + L"\\lib\\branches.dll";
  std::string damaged = *readWholeFile(library);
  damaged[damaged.size() / 2] ^= 0x40;
  FILE* out = _wfopen(library.c_str(), L"wb");
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(fwrite(damaged.data(), 1, damaged.size(), out), damaged.size());
  fclose(out);
  ProcessResult second = runLauncher(launcherPath(L"filtered"), L"filtered", options);
  ASSERT_EQ(second.exitCode, 0u) << second.err;
  EXPECT_TRUE(readWholeFile(library) == readWholeFile(app + L"\\lib\\branches.dll"));
}

TEST(LauncherChild, StartsWithTheWindowStateAndTitleTheLauncherWasStartedWith) {
  // As a shortcut set to run minimized starts a program.
  ProcessOptions options;
  options.useShowWindow = true;
  options.showWindow = SW_SHOWMINNOACTIVE;
  options.title = L"Tessaline Deck \u00e9";
  Launch r = launch(L"basic", {}, options);
  ASSERT_EQ(r.process.exitCode, 0u) << r.process.err;
  EXPECT_EQ(r.report.startupFlags, static_cast<DWORD>(STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES));
  EXPECT_EQ(r.report.showWindow, SW_SHOWMINNOACTIVE);
  EXPECT_EQ(r.report.title, options.title);
}

TEST(LauncherChild, ReportsAFirstEntryThatIsNoProgramAndStartsNothing) {
  Launch r = launch(L"not_a_program");
  EXPECT_EQ(r.process.err, launchFailureLine(ERROR_BAD_EXE_FORMAT));
  EXPECT_EQ(r.process.out, "");
  EXPECT_EQ(r.process.exitCode, 2u);
}

namespace {

// The test handles console events itself: it only sends them.
BOOL WINAPI ignoreEvent(DWORD) {
  return TRUE;
}

// A launcher running on a console of this test's own, with its output on a pipe that is read
// as it comes.
struct RunningLauncher {
  PROCESS_INFORMATION info{};
  HANDLE output = nullptr;
  std::string read;

  // Reads until the output holds the whole line "<key>=<number>"; returns the number, or 0
  // when the output ends first.
  DWORD waitForNumber(const std::string& key) {
    char buffer[4096];
    DWORD got = 0;
    while (!holdsLine(key) && ReadFile(output, buffer, sizeof buffer, &got, nullptr) && got > 0)
      read.append(buffer, got);
    return holdsLine(key) ? std::stoul(read.substr(read.find("\n" + key + "=") + key.size() + 2))
                          : 0;
  }

  bool holdsLine(const std::string& key) const {
    size_t at = read.find("\n" + key + "=");
    return at != std::string::npos && read.find('\n', at + 1) != std::string::npos;
  }

  // Reads until the child's report is complete (its last line names the parent); returns the
  // child's process id.
  DWORD waitForReport() { return waitForNumber("parent") == 0 ? 0 : waitForNumber("pid"); }

  ~RunningLauncher() {
    CloseHandle(info.hProcess);
    CloseHandle(output);
  }
};

// Gives the test a console of its own, shared by the launcher and its child, on which it
// raises real Ctrl-C events.
void startOnOwnConsole(RunningLauncher& launcher, const std::vector<std::wstring>& arguments,
                       const std::wstring& name = L"basic",
                       const std::wstring& temp = freshTemp()) {
  FreeConsole();
  ASSERT_TRUE(AllocConsole());
  SetConsoleCtrlHandler(ignoreEvent, TRUE);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE write = nullptr;
  CreatePipe(&launcher.output, &write, &inherit, 0);
  SetHandleInformation(launcher.output, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write;
  startup.hStdError = write;
  std::wstring exe = launcherPath(name);
  std::wstring line = commandLine(quoteArgument(exe), arguments);
  SetEnvironmentVariableW(L"TMP", temp.c_str());
  ASSERT_TRUE(CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &startup, &launcher.info));
  CloseHandle(write);
  CloseHandle(launcher.info.hThread);
}

double secondsSince(ULONGLONG start) {
  return (GetTickCount64() - start) / 1000.0;
}

// The copies for one start that the "once" launchers left below `temp`.
std::vector<std::wstring> copiesBelow(const std::wstring& temp) {
  std::vector<std::wstring> copies;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((temp + L"\\e2e\\once-*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return copies;
  do
    copies.push_back(found.cFileName);
  while (FindNextFileW(search, &found));
  FindClose(search);
  return copies;
}

}  // namespace

TEST(LauncherInterrupt, GivesAChildThatIgnoresCtrlCItsGraceTimeThenTerminatesIt) {
  RunningLauncher launcher;
  startOnOwnConsole(launcher, {L"--ignore-interrupts", L"--sleep", L"60000"});
  DWORD childId = launcher.waitForReport();
  ASSERT_NE(childId, 0u) << launcher.read;
  HANDLE child = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, childId);
  ASSERT_NE(child, nullptr);

  ULONGLONG start = GetTickCount64();
  ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, /* every process on the console */ 0));
  EXPECT_EQ(WaitForSingleObject(launcher.info.hProcess, 30000), WAIT_OBJECT_0);
  double took = secondsSince(start);
  EXPECT_GE(took, 4.5);
  EXPECT_LT(took, 20.0);
  DWORD childCode = 1;
  EXPECT_EQ(WaitForSingleObject(child, 1000), WAIT_OBJECT_0);
  GetExitCodeProcess(child, &childCode);
  EXPECT_EQ(childCode, 0u) << "terminated with exit code 0";
  CloseHandle(child);
}

TEST(LauncherInterrupt, EndsAtOnceWhenTheChildEndsOnCtrlC) {
  RunningLauncher launcher;
  startOnOwnConsole(launcher, {L"--sleep", L"60000"});
  DWORD childId = launcher.waitForReport();
  ASSERT_NE(childId, 0u) << launcher.read;
  HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, childId);
  ASSERT_NE(child, nullptr);
  ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
  EXPECT_EQ(WaitForSingleObject(child, 30000), WAIT_OBJECT_0);
  // Timed from the child's end, so that how long a busy machine takes to deliver the event does
  // not count; a launcher that sat out its grace time would take 5 s.
  ULONGLONG childEnded = GetTickCount64();
  EXPECT_EQ(WaitForSingleObject(launcher.info.hProcess, 30000), WAIT_OBJECT_0);
  EXPECT_LT(secondsSince(childEnded), 4.0);
  CloseHandle(child);
}

TEST(LauncherInterrupt, RemovesACopyForOneStartAfterTheGraceTimeBeforeItEnds) {
  RunningLauncher launcher;
  const std::wstring temp = freshTemp();
  startOnOwnConsole(launcher, {L"--ignore-interrupts", L"--sleep", L"60000"}, L"once", temp);
  ASSERT_NE(launcher.waitForReport(), 0u) << launcher.read;
  ASSERT_EQ(copiesBelow(temp).size(), 1u);
  ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
  ASSERT_EQ(WaitForSingleObject(launcher.info.hProcess, 60000), WAIT_OBJECT_0);
  EXPECT_EQ(copiesBelow(temp), std::vector<std::wstring>{});
}

TEST(LauncherRemoval, AStartThatFailsAfterUnpackingLeavesNoCopy) {
  Launch r = launch(L"once_not_a_program");
  EXPECT_EQ(r.process.err, launchFailureLine(ERROR_BAD_EXE_FORMAT));
  EXPECT_EQ(r.process.exitCode, 2u);
  EXPECT_EQ(copiesBelow(r.temp), std::vector<std::wstring>{});
  Launch ran = launch(L"once");
  EXPECT_EQ(ran.process.exitCode, 0u) << ran.process.err;
  EXPECT_EQ(copiesBelow(ran.temp), std::vector<std::wstring>{});
}

TEST(LauncherLifetime, TakesTheChildAlongWhenTerminatedButNotWhatTheChildStarted) {
  RunningLauncher launcher;
  startOnOwnConsole(launcher, {L"--spawn", L"--sleep", L"60000"});
  DWORD childId = launcher.waitForReport();
  DWORD grandchildId = launcher.waitForNumber("grandchild");
  ASSERT_NE(grandchildId, 0u) << launcher.read;
  HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, childId);
  HANDLE grandchild = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, grandchildId);
  ASSERT_NE(child, nullptr);
  ASSERT_NE(grandchild, nullptr);

  // As a CI time-out or a process manager ends a program.
  ASSERT_TRUE(TerminateProcess(launcher.info.hProcess, 1));
  EXPECT_EQ(WaitForSingleObject(child, 30000), WAIT_OBJECT_0);
  // A grandchild tied to the launcher would have been ended with the child.
  EXPECT_EQ(WaitForSingleObject(grandchild, 2000), static_cast<DWORD>(WAIT_TIMEOUT));
  TerminateProcess(grandchild, 0);
  CloseHandle(grandchild);
  CloseHandle(child);
}

#include "paths/expand_spec.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "paths/environment.h"
#include "paths/path_buffer.h"
#include "tests/support/probe.h"
#include "tests/support/process.h"
#include "tests/support/system_seams.h"

namespace {

struct Expansion {
  bool ok;
  std::wstring text;
};

Expansion expand(const std::wstring& spec, size_t room = kPathUnits) {
  static wchar_t buffer[kPathUnits + 1];
  wcscpy(buffer, L"old content");
  bool ok = expandSpec(buffer, spec.c_str(), room);
  return {ok, buffer};
}

std::wstring knownFolder(int id) {
  wchar_t path[MAX_PATH];
  SHGetFolderPathW(nullptr, id, nullptr, 0, path);
  return path;
}

std::wstring modulePath() {
  return ownPath();
}

class ExpandSpec : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"TARNIC_ONEFILE_PARENT", "TARNIC_ONEFILE_RANDOM",
                             "TARNIC_ONEFILE_TIME_US", "TARNIC_ONEFILE_START"})
      removeEnvironment(name);
  }
  void TearDown() override { resetKnownFolder(); }
};

// Probes print their expansion, so that tests can run them under another name or place.
void printExpansion(const wchar_t* spec) {
  Expansion e = expand(spec);
  printf("%d|%s", e.ok, narrow(e.text).c_str());
}

}  // namespace

TARNIC_PROBE(print_program_tokens) {
  printExpansion(L"{PROGRAM}|{PROGRAM_BASE}|{PROGRAM_DIR}");
}
TARNIC_PROBE(print_pid) {
  printExpansion(L"{PID}");
}
// The own path is asked for once per process: a process of its own that has not asked yet.
TARNIC_PROBE(program_tokens_without_module_path) {
  failModuleFileName();
  for (const wchar_t* spec : {L"p{PROGRAM}", L"p{PROGRAM_BASE}", L"p{PROGRAM_DIR}"}) {
    printExpansion(spec);
    printf("\n");
  }
}
TARNIC_PROBE(company_does_not_fit) {
  wchar_t buffer[8];
  expandSpec(buffer, L"{COMPANY}", 8);
}
TARNIC_PROBE(cache_dir_does_not_fit) {
  wchar_t buffer[4];
  expandSpec(buffer, L"{CACHE_DIR}", 4);
}

TEST_F(ExpandSpec, CopiesLiteralTextUpTo4095Characters) {
  EXPECT_TRUE(expand(L"").ok);
  EXPECT_EQ(expand(L"").text, L"");
  EXPECT_EQ(expand(L"C:\\plain path\\x").text, L"C:\\plain path\\x");

  std::wstring longest(kPathUnits - 1, L'a');
  Expansion fits = expand(longest);
  EXPECT_TRUE(fits.ok);
  EXPECT_EQ(fits.text, longest);
  Expansion over = expand(longest + L"b");
  EXPECT_FALSE(over.ok);
  EXPECT_EQ(over.text, longest) << "keeps what was written before the failing character";
}

TEST_F(ExpandSpec, MatchesTokenNamesWithoutRegardToAsciiCase) {
  std::wstring cache = knownFolder(CSIDL_LOCAL_APPDATA);
  EXPECT_EQ(expand(L"{CACHE_DIR}\\x").text, cache + L"\\x");
  EXPECT_EQ(expand(L"{cache_dir}\\x").text, cache + L"\\x");
  EXPECT_EQ(expand(L"{Cache_Dir}\\x").text, cache + L"\\x");
  EXPECT_EQ(expand(L"{company}/{Product}/{VERSION}/{file_version}/{product_VERSION}").text,
            L"Zarvel Dynamics/Tessaline Deck/1.20.0.0/1.20.0.1/1.20.0.2");
}

TEST_F(ExpandSpec, RefusesNamesThatAreNoTokenAndStrayClosingBraces) {
  Expansion empty = expand(L"a\\{}");
  EXPECT_FALSE(empty.ok);
  EXPECT_EQ(empty.text, L"a\\");
  EXPECT_FALSE(expand(L"{NOPE}").ok);
  EXPECT_FALSE(expand(L"{CACHE DIR}").ok);
  EXPECT_FALSE(expand(L"x}y").ok);
  EXPECT_FALSE(expand(L"{TEMP}}").ok);
}

TEST_F(ExpandSpec, RefusesNamesBeyondTheNameBufferWithoutOverrunningIt) {
  EXPECT_FALSE(expand(L"{" + std::wstring(1023, L'N') + L"}").ok);
  EXPECT_FALSE(expand(L"{" + std::wstring(1024, L'N') + L"}").ok);
  EXPECT_FALSE(expand(L"{" + std::wstring(20000, L'N') + L"}").ok);
  // An unclosed name of any length is dropped.
  Expansion dropped = expand(L"ok{" + std::wstring(20000, L'N'));
  EXPECT_TRUE(dropped.ok);
  EXPECT_EQ(dropped.text, L"ok");
}

TEST_F(ExpandSpec, DiscardsAnOpenNameAtTheNextBraceAndDropsOneLeftOpen) {
  ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", L"C:\\Temp Dir\\"));
  EXPECT_EQ(expand(L"{A{TEMP}").text, L"C:\\Temp Dir");
  Expansion open = expand(L"abc{TEMP");
  EXPECT_TRUE(open.ok);
  EXPECT_EQ(open.text, L"abc");
}

TEST_F(ExpandSpec, TrimsTrailingBackslashesAfterTempHomeAndCacheDir) {
  ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", L"C:\\Temp Dir\\"));
  EXPECT_EQ(expand(L"{TEMP}\\app").text, L"C:\\Temp Dir\\app");

  // A temporary path that does not fit contributes nothing, and the backslash before the
  // token goes too.
  Expansion noTemp = expand(L"x\\{TEMP}", 8);
  EXPECT_TRUE(noTemp.ok);
  EXPECT_EQ(noTemp.text, L"x");

  overrideKnownFolder([](int, wchar_t* path) {
    wcscpy(path, L"X:\\");
    return S_OK;
  });
  EXPECT_EQ(expand(L"{CACHE_DIR}\\Zarvel").text, L"X:\\Zarvel");
  EXPECT_EQ(expand(L"\\\\{HOME}").text, L"\\\\X:");
}

TEST_F(ExpandSpec, FailsWhenTheSystemReportsNoKnownFolder) {
  overrideKnownFolder([](int, wchar_t*) { return S_FALSE; });
  Expansion e = expand(L"a\\{CACHE_DIR}\\b");
  EXPECT_FALSE(e.ok);
  EXPECT_EQ(e.text, L"a\\");
  EXPECT_FALSE(expand(L"{HOME}").ok);
}

TEST_F(ExpandSpec, EndsAbnormallyWhenATokenValueDoesNotFit) {
  EXPECT_EQ(runProbe("company_does_not_fit").exitCode, kFastFailStatus);
  EXPECT_EQ(runProbe("cache_dir_does_not_fit").exitCode, kFastFailStatus);
  // The same room is enough for a value that fits: "Zarvel Dynamics" needs 16 units.
  wchar_t buffer[16];
  EXPECT_TRUE(expandSpec(buffer, L"{COMPANY}", 16));
}

TEST_F(ExpandSpec, ExpandsProgramTokensFromTheModulePath) {
  std::wstring path = modulePath();
  std::wstring base = path.substr(0, path.size() - 4);
  std::wstring dir = path.substr(0, path.rfind(L'\\'));
  EXPECT_EQ(expand(L"{PROGRAM}|{PROGRAM_BASE}|{PROGRAM_DIR}").text,
            path + L"|" + base + L"|" + dir);
  // A path the system has to cut is accepted as cut.
  Expansion cut = expand(L"{PROGRAM}", 6);
  EXPECT_TRUE(cut.ok);
  EXPECT_EQ(cut.text, path.substr(0, 5));
}

TEST_F(ExpandSpec, ExpandsProgramTokensForOtherNamesAndADriveRoot) {
  std::wstring dir = L"C:\\tarnic-program-tokens";
  CreateDirectoryW(dir.c_str(), nullptr);
  const std::wstring copies[] = {dir + L"\\App.EXE", dir + L"\\App.bin", L"C:\\tarnic-root.exe"};
  for (const auto& copy : copies)
    ASSERT_TRUE(CopyFileW(ownPath().c_str(), copy.c_str(), FALSE));

  auto run = [](const std::wstring& exe) {
    return runProcess(exe, quoteArgument(exe) + L" --probe print_program_tokens").out;
  };
  EXPECT_EQ(run(copies[0]), narrow(L"1|" + copies[0] + L"|" + dir + L"\\App|" + dir));
  EXPECT_EQ(run(copies[1]), narrow(L"1|" + copies[1] + L"|" + copies[1] + L"|" + dir));
  EXPECT_EQ(run(copies[2]), "1|C:\\tarnic-root.exe|C:\\tarnic-root|C:");

  for (const auto& copy : copies)
    DeleteFileW(copy.c_str());
  RemoveDirectoryW(dir.c_str());
}

TEST_F(ExpandSpec, FailsProgramTokensWhenTheModulePathIsNotAvailable) {
  EXPECT_EQ(runProbe("program_tokens_without_module_path").out, "0|p\r\n0|p\r\n0|p\r\n");
}

TEST_F(ExpandSpec, TakesThePidFromTheParentVariableOrTheProcess) {
  ProcessOptions parent;
  parent.setEnvironment[L"TARNIC_ONEFILE_PARENT"] = L"4711";
  EXPECT_EQ(runProbe("print_pid", parent).out, "1|4711");

  ProcessOptions empty;
  empty.setEnvironment[L"TARNIC_ONEFILE_PARENT"] = L"";
  std::string own = runProbe("print_pid", empty).out;
  ASSERT_EQ(own.rfind("1|", 0), 0u);
  EXPECT_GT(std::stoul(own.substr(2)), 0ul);

  ProcessOptions letter;
  letter.setEnvironment[L"TARNIC_ONEFILE_PARENT"] = L"12a4";
  ProcessResult r = runProbe("print_pid", letter);
  EXPECT_EQ(r.exitCode, kFastFailStatus);
  EXPECT_EQ(r.out, "");
}

TEST_F(ExpandSpec, MakesRandomOnceAndPublishesIt) {
  Expansion e = expand(L"{RANDOM}-{random}");
  ASSERT_TRUE(e.ok);
  ASSERT_EQ(e.text.size(), 23u);
  std::wstring tag = e.text.substr(0, 11);
  EXPECT_EQ(e.text, tag + L"-" + tag);
  EXPECT_EQ(std::wstring(readEnvironment("TARNIC_ONEFILE_RANDOM")), tag);
  EXPECT_EQ(expand(L"{RANDOM}").text, tag) << "later expansions reuse the published value";
}

TEST_F(ExpandSpec, UsesPresetPublishedValuesVerbatim) {
  writeEnvironment("TARNIC_ONEFILE_RANDOM", L"a\\{b}");
  writeEnvironment("TARNIC_ONEFILE_TIME_US", L"not digits");
  writeEnvironment("TARNIC_ONEFILE_START", L"{TIME}");
  EXPECT_EQ(expand(L"{RANDOM}|{TIME_US}|{TIME}").text, L"a\\{b}|not digits|{TIME}");
  EXPECT_EQ(std::wstring(readEnvironment("TARNIC_ONEFILE_RANDOM")), L"a\\{b}");
  EXPECT_EQ(std::wstring(readEnvironment("TARNIC_ONEFILE_START")), L"{TIME}");
}

TEST_F(ExpandSpec, MakesTimeAndTimeUsFromTheSystemClock) {
  FILETIME before;
  GetSystemTimeAsFileTime(&before);
  Expansion e = expand(L"{TIME}|{TIME_US}");
  ASSERT_TRUE(e.ok);
  size_t bar = e.text.find(L'|');
  long long start = std::stoll(e.text.substr(0, bar));
  std::wstring micros = e.text.substr(bar + 1);
  long long earliest = (static_cast<long long>(before.dwHighDateTime) << 32) | before.dwLowDateTime;
  EXPECT_GE(start, earliest);
  EXPECT_LT(start, earliest + 10000000ll * 60);
  EXPECT_EQ(micros.size(), 6u);
  EXPECT_EQ(micros.find_first_not_of(L"0123456789"), std::wstring::npos);
  EXPECT_EQ(std::wstring(readEnvironment("TARNIC_ONEFILE_START")), e.text.substr(0, bar));
  EXPECT_EQ(std::wstring(readEnvironment("TARNIC_ONEFILE_TIME_US")), micros);
}

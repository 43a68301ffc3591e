// Runs the staged sample application as a launcher would start it and reads its report.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "sample/tessaline_core.h"
#include "tests/support/process.h"

namespace {

constexpr const wchar_t* kPublishedVariables[] = {
    L"TARNIC_ONEFILE_PARENT", L"TARNIC_ONEFILE_DIRECTORY", L"TARNIC_ONEFILE_TARGET",
    L"TARNIC_ORIGINAL_ARGV0", L"TARNIC_ONEFILE_START",     L"TARNIC_ONEFILE_TIME_US",
    L"TARNIC_ONEFILE_RANDOM",
};
constexpr uint32_t kDllNotFoundStatus = 0xC0000135;

std::wstring folderOf(const std::wstring& path) {
  return path.substr(0, path.find_last_of(L'\\'));
}

// The build stages the application beside this test program.
std::wstring appFolder() {
  return folderOf(ownPath()) + L"\\app";
}
std::wstring appProgram() {
  return appFolder() + L"\\Tessaline-Deck.exe";
}

// Starts `program` with `arguments`; the TARNIC_ variables the test does not set are removed.
ProcessResult runSample(const std::wstring& program, const std::vector<std::wstring>& arguments,
                        ProcessOptions options = {}) {
  std::wstring line = quoteArgument(program);
  for (const std::wstring& argument : arguments)
    line += L" " + quoteArgument(argument);
  for (const wchar_t* name : kPublishedVariables)
    if (options.setEnvironment.count(name) == 0)
      options.removeEnvironment.push_back(name);
  return runProcess(program, line, options);
}

// The report's rows, label to value: "  <label>  <blanks><value>". Labels hold no double blank.
std::map<std::string, std::string> reportRows(const std::string& out) {
  std::map<std::string, std::string> rows;
  size_t start = out.find("\r\n");
  while (start != std::string::npos && start + 2 < out.size()) {
    size_t end = out.find("\r\n", start + 2);
    std::string line = out.substr(start + 2, end - start - 2);
    start = end;
    size_t gap = line.find("  ", 2);
    if (line.rfind("  ", 0) != 0 || gap == std::string::npos)
      continue;
    rows[line.substr(2, gap - 2)] = line.substr(line.find_first_not_of(' ', gap));
  }
  return rows;
}

std::string quoted(const std::wstring& text) {
  return "\"" + narrow(text) + "\"";
}

// A fresh folder below the temporary folder, named for the running test so that tests may run
// in parallel, removed with everything in it at the end.
class ScratchFolder {
 public:
  ScratchFolder()
      : path_(std::filesystem::temp_directory_path() /
              ("tessaline-" +
               std::string(testing::UnitTest::GetInstance()->current_test_info()->name()))) {
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() { std::filesystem::remove_all(path_); }
  std::wstring copy(const std::wstring& file) const {
    std::filesystem::path target = path_ / std::filesystem::path(file).filename();
    std::filesystem::copy_file(file, target);
    return target.wstring();
  }
  std::wstring path() const { return path_.wstring(); }

 private:
  std::filesystem::path path_;
};

}  // namespace

TEST(SampleReport, FindsItsLibraryBesideItAndReadsEveryDataFile) {
  ProcessResult r = runSample(appProgram(), {});
  ASSERT_EQ(r.exitCode, 0u) << r.err;
  EXPECT_EQ(r.err, "");
  auto rows = reportRows(r.out);
  EXPECT_EQ(rows["program"], narrow(appProgram()));
  EXPECT_EQ(rows["core"], "1.20.0.0 from " + narrow(appFolder()) + "\\tessaline-core.dll");
  EXPECT_EQ(rows["deck.txt"], "Tessaline Deck: five cards for a quick round");
  EXPECT_EQ(rows["cards\\queen of hearts.txt"], "Queen of Hearts: trumps every knave");
  EXPECT_EQ(rows["Karten-ü\\Straße.txt"], "Straße: fünf Karten in Folge ♠♥♦♣");
  EXPECT_EQ(rows["Karten-ü\\🂡 Pik-Ass.txt"], "Pik-Ass 🂡 sticht jede Karte");
  EXPECT_NE(rows["fingerprint"].find(" over 6 files, "), std::string::npos) << r.out;
}

TEST(SampleReport, ListsEveryArgumentExactly) {
  const std::vector<std::wstring> arguments = {
      L"two words", L"",      L"say \"hi\"", L"trailing\\",    L"C:\\Program Files\\x\\",
      L"a\\\\\"b",  L"\ttab", L"Grüße",      L"\U0001F0A1 ace"};
  ProcessResult r = runSample(appProgram(), arguments);
  ASSERT_EQ(r.exitCode, 0u) << r.err;
  auto rows = reportRows(r.out);
  EXPECT_EQ(rows["argv[0]"], quoted(appProgram()));
  for (size_t i = 0; i < arguments.size(); ++i)
    EXPECT_EQ(rows["argv[" + std::to_string(i + 1) + "]"], quoted(arguments[i])) << i + 1;
  EXPECT_EQ(rows.count("argv[" + std::to_string(arguments.size() + 1) + "]"), 0u);
}

TEST(SampleReport, ShowsTheTarnicVariablesItReceived) {
  ProcessOptions options;
  options.setEnvironment = {{L"TARNIC_ONEFILE_PARENT", L"4321"},
                            {L"TARNIC_ONEFILE_DIRECTORY", L"C:\\Program Files\\Zarvel Dynamics"},
                            {L"TARNIC_ORIGINAL_ARGV0", L"Tessaline-Deck"},
                            {L"TARNIC_ONEFILE_RANDOM", L"Ü\U0001F0A1"}};
  ProcessResult r = runSample(appProgram(), {}, options);
  ASSERT_EQ(r.exitCode, 0u) << r.err;
  auto rows = reportRows(r.out);
  EXPECT_EQ(rows["TARNIC_ONEFILE_PARENT"], "\"4321\"");
  EXPECT_EQ(rows["TARNIC_ONEFILE_DIRECTORY"], "\"C:\\Program Files\\Zarvel Dynamics\"");
  EXPECT_EQ(rows["TARNIC_ORIGINAL_ARGV0"], "\"Tessaline-Deck\"");
  EXPECT_EQ(rows["TARNIC_ONEFILE_RANDOM"], "\"Ü🂡\"");
  EXPECT_EQ(rows["TARNIC_ONEFILE_START"], "(not set)");
  EXPECT_EQ(rows["TARNIC_ONEFILE_TIME_US"], "(not set)");
}

TEST(SampleExitCode, PassesTheRequestedCodeThroughWhole) {
  for (uint32_t code : {0u, 3u, 259u, 3221225477u}) {
    ProcessResult r = runSample(appProgram(), {L"--exit", std::to_wstring(code)});
    EXPECT_EQ(r.exitCode, code);
    EXPECT_NE(r.out.find("deck.txt"), std::string::npos) << code;
  }
}

TEST(SampleExitCode, RejectsAnythingButA32BitDecimal) {
  for (const wchar_t* code : {L"4294967296", L"-1", L"0x10", L"", L"12 ", L"+3"}) {
    ProcessResult r = runSample(appProgram(), {L"--exit", code});
    EXPECT_EQ(r.exitCode, 2u) << narrow(code);
    EXPECT_EQ(r.out, "") << narrow(code);
    EXPECT_NE(r.err.find("--exit needs"), std::string::npos) << r.err;
  }
  EXPECT_EQ(runSample(appProgram(), {L"--exit", L"4294967295"}).exitCode, 4294967295u);
}

TEST(SampleExitCode, IsOneWhenDataFilesAreMissingWhateverWasRequested) {
  ScratchFolder folder;
  std::wstring program = folder.copy(appProgram());
  folder.copy(appFolder() + L"\\tessaline-core.dll");
  ProcessResult r = runSample(program, {L"--exit", L"0"});
  EXPECT_EQ(r.exitCode, 1u);
  auto rows = reportRows(r.out);
  EXPECT_EQ(rows["deck.txt"].rfind("(cannot read: error ", 0), 0u) << r.out;
  EXPECT_EQ(rows["core"], "1.20.0.0 from " + narrow(folder.path()) + "\\tessaline-core.dll");
  EXPECT_NE(r.err.find("could not be read"), std::string::npos) << r.err;
}

TEST(SampleExitCode, ShowsTheLoaderFailureWithoutItsLibrary) {
  ScratchFolder folder;
  // Windows would report the missing library in a message box and wait; the child inherits
  // this error mode and ends at once instead.
  SetErrorMode(SEM_FAILCRITICALERRORS);
  ProcessOptions options;
  // The loader also searches the current folder, where the build keeps a copy of the library.
  options.currentDirectory = folder.path();
  ProcessResult r = runSample(folder.copy(appProgram()), {}, options);
  EXPECT_EQ(r.exitCode, kDllNotFoundStatus);
  EXPECT_EQ(r.out, "");
}

TEST(SampleHelp, NamesTheExitOptionAndReadsNothing) {
  ProcessResult r = runSample(appProgram(), {L"--help"});
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_NE(r.out.find("--exit N"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("deck.txt"), std::string::npos) << r.out;
}

TEST(CoreFingerprint, MatchesFnv1aAndChainsAcrossPieces) {
  EXPECT_EQ(tessalineFingerprint(kFingerprintSeed, "", 0), 0x811C9DC5u);
  EXPECT_EQ(tessalineFingerprint(kFingerprintSeed, "a", 1), 0xE40C292Cu);
  EXPECT_EQ(tessalineFingerprint(kFingerprintSeed, "foobar", 6), 0xBF9CF968u);
  EXPECT_EQ(tessalineFingerprint(tessalineFingerprint(kFingerprintSeed, "foo", 3), "bar", 3),
            0xBF9CF968u);
}

// The packer's command line as a user meets it: version, unknown subcommands, the summary line
// and --quiet, and every problem of a folder in one run.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <regex>

#include "tests/packer/test_util.h"

namespace fs = std::filesystem;

namespace {

TEST(CommandLine, PrintsItsVersion) {
  ToolResult result = runPack({"--version"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "tarnic-pack " TARNIC_VERSION "\n");
}

TEST(CommandLine, NamesAnUnknownSubcommandOrOptionWithTheLikelyOne) {
  ToolResult result = runPack({"pakc", "--app", "x"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err,
            "tarnic-pack: error: unknown subcommand \"pakc\"; the subcommands are init, region, "
            "launcher and list (see --help)\n");
  EXPECT_NE(runPack({}).err.find("A subcommand is required"), std::string::npos);
  EXPECT_EQ(
      runPack({"lanucher"})
          .err.find("tarnic-pack: error: unknown subcommand \"lanucher\" (did you mean launcher?)"),
      0u);
  result = runPack({"region", "--app", "x", "--main", "m", "--out", "r", "--thread", "2"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "tarnic-pack: error: unknown option --thread (did you mean --threads?)\n");
}

TEST(CommandLine, EndsWithASummaryLineUnlessQuiet) {
  ScratchFolder scratch;
  writeFile(scratch / "app/main.exe", std::string(3000, 'm'));
  writeFile(scratch / "app/data.txt", std::string(1000, 'd'));
  const std::vector<std::string> region{"region",   "--app", scratch / "app",       "--main",
                                        "main.exe", "--out", scratch / "app.region"};
  ToolResult result = runPack(region);
  ASSERT_EQ(result.status, 0) << result.err;
  const std::regex summary("tarnic-pack: " + (scratch / "app.region").string() +
                           ": 2 files, 4000 bytes in, ([0-9]+) bytes out \\(([0-9]+\\.[0-9])%\\), "
                           "[0-9]+\\.[0-9]{2} s\n");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(result.err, match, summary)) << result.err;
  EXPECT_EQ(std::stoull(match[1]), fs::file_size(scratch / "app.region"));

  std::vector<std::string> quietFirst{"--quiet"}, quietAfter = region;
  quietFirst.insert(quietFirst.end(), region.begin(), region.end());
  quietAfter.push_back("-q");
  for (const auto& args : {quietFirst, quietAfter}) {
    result = runPack(args);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
  }
}

// On a terminal, a pack that takes more than a second shows a line of progress, rewritten in
// place and blanked before the summary line; with --quiet nothing. The input grows until the pack
// takes that long, however fast the machine.
TEST(CommandLine, ShowsProgressOnATerminalWhileALongPackRuns) {
  ScratchFolder scratch;
  const std::string pack = std::string(TARNIC_PACK) + " region --app '" +
                           (scratch / "app").string() + "' --main main.exe --out '" +
                           (scratch / "app.region").string() + "'";
  // `script` runs the command on a terminal of its own and copies what it shows.
  auto onTerminal = [&](const std::string& command) {
    return runProgram({"script", "-qefc", command, "/dev/null"}, scratch.path());
  };
  const std::regex progress(
      "\r"
      R"(packing [01]/1 files, \d+\.\d/\d+\.\d MB in, \d+\.\d MB out, \d+\.\d MB/s)"
      R"((, about \d+ (s|min) left)? *)");
  std::string noise;
  uint64_t state = 88172645463325252ull;
  ToolResult result{};
  while (result.out.find("\rpacking ") == std::string::npos && noise.size() < (64u << 20)) {
    for (size_t i = noise.size(), end = std::max<size_t>(2 << 20, 2 * i); i < end; ++i) {
      state ^= state << 13, state ^= state >> 7, state ^= state << 17;
      noise += static_cast<char>(state);
    }
    writeFile(scratch / "app/main.exe", noise);
    result = onTerminal(pack);
    ASSERT_EQ(result.status, 0) << result.out;
  }
  const size_t summary = result.out.rfind("\rtarnic-pack: ");
  ASSERT_NE(summary, std::string::npos) << result.out;
  const size_t blank = result.out.rfind('\r', summary - 1);
  ASSERT_NE(blank, std::string::npos) << result.out;
  EXPECT_EQ(result.out.find_first_not_of(' ', blank + 1), summary) << "a blanked line";
  const std::string lines = result.out.substr(0, blank);
  std::sregex_iterator line(lines.begin(), lines.end(), progress), end;
  size_t covered = 0;
  for (; line != end; ++line) {
    EXPECT_EQ(static_cast<size_t>(line->position()), covered) << lines.substr(covered);
    covered = line->position() + line->length();
  }
  EXPECT_EQ(covered, lines.size()) << lines;
  EXPECT_NE(covered, 0u);
  EXPECT_EQ(onTerminal(pack + " --quiet").out, "");
}

// Off a terminal (a CI log, here a file), a pack that takes more than ten seconds writes a line
// of plain text every ten seconds, no carriage return in it. Text of random words packs at about
// 1 MB/s at level 19 on one thread; the input grows until the pack takes long enough for two
// lines, 24 s, however fast the machine.
TEST(CommandLine, WritesALineOfProgressEveryTenSecondsToALog) {
  ScratchFolder scratch;
  const std::string pack = std::string(TARNIC_PACK) + " region --app '" +
                           (scratch / "app").string() + "' --main main.exe --out '" +
                           (scratch / "app.region").string() + "' --level 19 --threads 1 2>'" +
                           (scratch / "log").string() + "'";
  const std::regex progress(
      R"(tarnic-pack: packing [01]/1 files, \d+\.\d/\d+\.\d MB in, \d+\.\d MB out, )"
      R"(\d+\.\d MB/s(, about \d+ (s|min) left)?\n)");
  const std::regex summary(
      R"(tarnic-pack: [^\n]*: 1 file, \d+ bytes in, \d+ bytes out \([0-9.]+%\), )"
      R"(([0-9.]+) s\n)");
  std::mt19937 random(7);
  std::vector<std::string> words(4000);
  for (std::string& word : words) {
    for (size_t letters = 2 + random() % 8; word.size() < letters;) {
      word += static_cast<char>('a' + random() % 10);
    }
  }
  std::string text, log;
  size_t lines = 0;
  double seconds = 0;
  for (size_t bytes = 4 << 20; seconds < 24 && bytes <= (256u << 20);) {
    while (text.size() < bytes) {
      text += words[random() % words.size()] + ' ';
    }
    writeFile(scratch / "app/main.exe", text);
    ASSERT_EQ(runProgram({"sh", "-c", pack}, scratch.path()).status, 0);
    log = readFile(scratch / "log");
    std::smatch end;
    ASSERT_TRUE(std::regex_search(log, end, summary)) << log;
    lines = std::distance(std::sregex_iterator(log.begin(), log.end(), progress),
                          std::sregex_iterator());
    EXPECT_EQ(std::regex_replace(log, progress, ""), end.str()) << "nothing else: " << log;
    seconds = std::stod(end[1]);
    bytes = static_cast<size_t>(bytes * std::max(2.0, 27 / seconds));
  }
  EXPECT_GE(lines, 2u) << log;
  EXPECT_EQ(log.find('\r'), std::string::npos) << log;
}

TEST(CommandLine, ReportsEveryProblemOfTheFolderInOneRunUpToTwenty) {
  ScratchFolder scratch;
  writeFile(scratch / "app/main.exe", "m");
  const std::vector<std::string> bad{"a|b", "CON", "why?", "dot.", "sub./x", "sub./y"};
  for (const std::string& name : bad) {
    writeFile(scratch / "app" / name, "x");
  }
  const std::vector<std::string> command{"region",   "--app", scratch / "app",       "--main",
                                         "main.exe", "--out", scratch / "app.region"};
  ToolResult result = runPack(command);
  EXPECT_NE(result.status, 0);
  EXPECT_EQ(result.err.rfind("tarnic-pack: error: " + (scratch / "app").string() +
                                 ": 5 files or folders cannot be packed:\n",
                             0),
            0u)
      << result.err;
  for (const char* name : {"a|b", "CON", "why?", "dot.", "sub."}) {
    EXPECT_NE(result.err.find("\n  " + (scratch / "app" / name).string() + ": "), std::string::npos)
        << name << " in " << result.err;
  }
  EXPECT_FALSE(fs::exists(scratch / "app.region"));

  for (int i = 0; i < 30; ++i) {
    writeFile(scratch / "app" / ("many" + std::to_string(i) + "."), "x");
  }
  result = runPack(command);
  EXPECT_NE(result.err.find(": 35 files or folders cannot be packed:\n"), std::string::npos);
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1 + 20 + 1) << result.err;
  EXPECT_NE(result.err.find("\n  and 15 more\n"), std::string::npos) << result.err;
}

TEST(CommandLine, ReportsEveryCaseCollisionOfTheFolderInOneRun) {
  ScratchFolder scratch;
  for (const char* name : {"main.exe", "a.txt", "A.txt", "b.txt", "B.TXT", "Lib/x", "lib/y"}) {
    writeFile(scratch / "app" / name, "x");
  }
  ToolResult result = runPack(
      {"region", "--app", scratch / "app", "--main", "main.exe", "--out", scratch / "app.region"});
  EXPECT_NE(result.status, 0);
  EXPECT_NE(result.err.find(": 3 files or folders cannot be packed:\n"), std::string::npos)
      << result.err;
  for (const char* pair :
       {R"("A.txt" and "a.txt")", R"("B.TXT" and "b.txt")", R"("Lib" and "lib")"}) {
    EXPECT_NE(result.err.find(pair), std::string::npos) << pair << " in " << result.err;
  }
  EXPECT_FALSE(fs::exists(scratch / "app.region"));
}

// Debug symbols and tests stay out of the region and the depfile alike; the main file cannot.
TEST(CommandLine, LeavesOutWhatTheExcludePatternsMatch) {
  ScratchFolder scratch;
  const fs::path app = scratch / "app";
  for (const char* name : {"main.exe", "main.pdb", "bin/x.dll", "bin/x.PDB", "tests/t.exe",
                           "tests/data/d.txt", "docs/tests/keep.txt"}) {
    writeFile(app / name, name);
  }
  // A link outside the folder is no problem where nothing is taken from it.
  fs::create_directory_symlink(scratch.path(), app / "tests/outside");
  const std::vector<std::string> region{
      "--quiet",   "region",         "--app",     app,        "--main", "main.exe",
      "--exclude", "*.pdb",          "--exclude", "tests/**", "--out",  scratch / "app.region",
      "--depfile", scratch / "app.d"};
  ToolResult result = runPack(region);
  ASSERT_EQ(result.status, 0) << result.err;
  ToolResult listed = runPack({"list", scratch / "app.region"});
  std::string names;
  for (size_t at = 0; at < listed.out.size(); at = listed.out.find('\n', at) + 1) {
    names += listed.out.substr(at + 20, listed.out.find('\n', at) + 1 - at - 20);
  }
  EXPECT_EQ(names, "main.exe\nbin\\x.dll\ndocs\\tests\\keep.txt\n") << listed.out;
  const std::string depfile = readFile(scratch / "app.d");
  for (const char* left : {".pdb", "PDB", "/tests/t.exe", "data", "outside"}) {
    EXPECT_EQ(depfile.find(left), std::string::npos) << left << " in " << depfile;
  }

  std::vector<std::string> mainLeftOut = region;
  mainLeftOut.insert(mainLeftOut.end(), {"--exclude", "*.EXE"});
  result = runPack(mainLeftOut);
  EXPECT_NE(result.status, 0);
  EXPECT_EQ(result.err,
            "tarnic-pack: error: --main \"main.exe\" is left out by the exclude pattern "
            "\"*.EXE\"\n");
}

// make and ninja read blanks, '#', '$' and ':' in names only when escaped (':' cannot be in a
// packed name, but in the folders above it).
TEST(CommandLine, WritesADepfileOfEveryFolderAndFileItPacked) {
  ScratchFolder scratch;
  const fs::path build = scratch / "build:1";
  for (const char* name : {"main.exe", "a b", "c#d", "e$f", "sub/x"}) {
    writeFile(build / "app" / name, name);
  }
  ToolResult result = runPack({"--quiet", "region", "--app", build / "app", "--main", "main.exe",
                               "--out", build / "app.region", "--depfile", scratch / "app.d"});
  ASSERT_EQ(result.status, 0) << result.err;
  const std::string escapedBuild = scratch.path().string() + "/build\\:1";
  std::string expected = escapedBuild + "/app.region:";
  for (const char* input : {"", "/sub", "/main.exe", "/a\\ b", "/c\\#d", "/e$$f", "/sub/x"}) {
    expected += " \\\n  " + escapedBuild + "/app" + input;
  }
  EXPECT_EQ(readFile(scratch / "app.d"), expected + "\n");
}

}  // namespace

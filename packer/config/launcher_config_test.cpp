#include "packer/config/launcher_config.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/packer/test_util.h"

namespace fs = std::filesystem;

namespace {

const std::string kBaseConfig = R"(target_spec = '{CACHE_DIR}\Co\App'
[version]
company = "Co"
product = "App"
version = "1.2.3.4"
file_version = "1.2.3.4"
product_version = "1.2.3.4"
copyright = "(c) Co"
[application]
folder = "app"
main = "App.exe"
icon = "icon.ico"
)";

// One change to a good configuration and the words its message must hold.
struct BadConfig {
  std::string label;
  std::string from;  // replaced in the base configuration, once
  std::string to;
  std::string words;
  std::string icon = "";                // replaces the icon file when not empty
  std::vector<std::string> extra = {};  // more arguments
};

std::string edited(const BadConfig& bad) {
  std::string config = kBaseConfig;
  const size_t at = config.find(bad.from);
  if (at == std::string::npos) {
    throw std::runtime_error("no '" + bad.from + "' in the config");
  }
  return config.replace(at, bad.from.size(), bad.to);
}

std::string line(const std::string& key) {
  const size_t start = kBaseConfig.find(key + " = ");
  return kBaseConfig.substr(start, kBaseConfig.find('\n', start) + 1 - start);
}

std::string iconHeader(uint16_t type, uint16_t count) {
  return std::string{0, 0, char(type), 0, char(count), char(count >> 8)};
}

// An icon of `count` entries that all point at one image, `image`.
std::string iconSharingAnImage(uint16_t count, const std::string& image) {
  std::string icon = iconHeader(1, count);
  const uint32_t offset = 6 + 16 * count;
  for (int i = 0; i < count; ++i) {
    icon += std::string{16, 16, 0, 0, 1, 0, 32, 0};
    for (uint32_t field : {static_cast<uint32_t>(image.size()), offset}) {
      for (int shift = 0; shift < 32; shift += 8) {
        icon += static_cast<char>(field >> shift);
      }
    }
  }
  return icon + image;
}

class LauncherConfigCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(scratch_ / "app/App.exe", makeProgram());
    writeFile(scratch_ / "text-app/App.exe", "just some text");
    fs::create_directories(scratch_ / "out");
  }

  // Runs the launcher command with `config`.
  ToolResult run(const std::string& config, const std::vector<std::string>& extra = {},
                 const std::string& icon = "") {
    writeFile(scratch_ / "launcher.toml", config);
    writeFile(scratch_ / "icon.ico", icon.empty() ? makeIcon({16, 256}) : icon);
    std::vector<std::string> args{"--quiet",  "launcher",
                                  "--config", scratch_ / "launcher.toml",
                                  "--out",    scratch_ / "out/App.exe",
                                  "--level",  "1"};
    args.insert(args.end(), extra.begin(), extra.end());
    return runPack(args);
  }

  // A region file packed from `main` and "other.txt".
  fs::path region(const std::string& main) {
    writeFile(scratch_ / "region-app" / main, makeProgram());
    writeFile(scratch_ / "region-app/other.txt", "x");
    const fs::path region = scratch_ / "packed.bin";
    ToolResult result = runPack({"--quiet", "region", "--app", scratch_ / "region-app", "--main",
                                 main, "--out", region, "--level", "1"});
    EXPECT_EQ(result.status, 0) << result.err;
    return region;
  }

  ScratchFolder scratch_;
};

TEST_F(LauncherConfigCheck, WritesALauncherForAGoodConfigurationWithOrWithoutAnIcon) {
  for (const std::string& config : {kBaseConfig, edited({"no icon", line("icon"), "", ""})}) {
    ToolResult result = run(config);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(namesIn(scratch_ / "out"), std::vector<std::string>{"App.exe"});
    fs::remove(scratch_ / "out/App.exe");
  }
}

TEST_F(LauncherConfigCheck, HintsAtSingleQuotesWhenADoubleQuotedPathHoldsAnUnknownEscape) {
  for (const char* spec : {R"("{CACHE_DIR}\Inkwell\App")", R"("C:\Users\me\App")"}) {
    ToolResult result = run(edited({"double quotes", R"('{CACHE_DIR}\Co\App')", spec, ""}));
    EXPECT_NE(result.status, 0);
    EXPECT_NE(result.err.find("launcher.toml:1:"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("\n  hint: write Windows paths as single-quoted TOML strings"),
              std::string::npos)
        << result.err;
  }
}

TEST_F(LauncherConfigCheck, RefusesEachBadFieldNamingItWithNoExecutable) {
  std::vector<BadConfig> cases;
  for (const char* field :
       {"company", "product", "version", "file_version", "product_version", "copyright"}) {
    cases.push_back({std::string("missing ") + field, line(field), "",
                     std::string("version.") + field + " is missing"});
  }
  cases.push_back({"missing main", line("main"), "", "application.main is missing"});
  const std::string badVersion = "\" is not four numbers 0..65535 separated by dots";
  const std::vector<BadConfig> more{
      {"missing target spec", line("target_spec"), "", "target_spec is missing"},
      {"unknown table", "[version]", "[other]\n[version]", "other is not a known key"},
      {"missing folder", line("folder"), "", "application.folder is missing"},
      {"unknown top-level key", "[version]", "targt_spec = 'x'\n[version]",
       "targt_spec is not a known key (did you mean `target_spec`?)"},
      {"unknown version key", "company", "compnay = 'x'\ncompany",
       "version.compnay is not a known key (did you mean `company`?)"},
      {"unknown application key",
       "icon =", "icn =", "application.icn is not a known key (did you mean `icon`?)"},
      {"key in another table", "company =", "main = 'x'\ncompany =",
       "version.main is not a known key (did you mean `application.main`?)"},
      {"shared target", R"('{CACHE_DIR}\Co\App')", R"('{PROGRAM_DIR}\App')",
       "target_spec does not start in a folder of the user's own"},
      {"climbing out", R"('{CACHE_DIR}\Co\App')", R"('{HOME}\..\Public\App')",
       "target_spec climbs out of the user's own folder"},
      {"not a boolean", "main =", "shared_target = 'yes'\nmain =",
       "application.shared_target must be true or false"},
      {"exclude not an array",
       "main =", "exclude = '*.pdb'\nmain =", "application.exclude must be an array of strings"},
      {"empty exclude pattern",
       "main =", "exclude = ['*.pdb', '']\nmain =", "application.exclude[1] \"\" matches nothing"},
      {"main excluded", "main =", "exclude = ['*.EXE']\nmain =",
       R"(application.main "App.exe" is left out by the exclude pattern "*.EXE")"},
      {"nested table", "[application]", "[version.extra]\n[application]",
       "version.extra is not a known key"},
      {"not a string", "company = \"Co\"", "company = 5", "version.company must be a string"},
      {"NUL in a string", "product = \"App\"", "product = \"A\\u0000pp\"",
       "version.product holds a NUL character"},
      {"string too long", "\"(c) Co\"", "\"" + std::string(4096, 'c') + "\"",
       "version.copyright is longer than 4095 UTF-16 units"},
      {"empty company", "company = \"Co\"", "company = \"\"", "version.company is empty"},
      {"empty product", "product = \"App\"", "product = \"\"", "version.product is empty"},
      {"three numbers", "version = \"1.2.3.4\"", "version = \"1.2.3\"",
       "version.version \"1.2.3" + badVersion},
      {"number over 65535", "file_version = \"1.2.3.4\"", "file_version = \"1.2.3.65536\"",
       "version.file_version \"1.2.3.65536" + badVersion},
      {"letter in a version", "product_version = \"1.2.3.4\"", "product_version = \"1.2.x.4\"",
       "version.product_version \"1.2.x.4" + badVersion},
      {"empty version number", "version = \"1.2.3.4\"", "version = \"1..2.3\"",
       "version.version \"1..2.3" + badVersion},
      {"empty spec", "'{CACHE_DIR}\\Co\\App'", "''", "target_spec is empty"},
      {"unknown token", "{CACHE_DIR}", "{CACHE}", "target_spec has the unknown token \"{CACHE}\""},
      {"empty token", "{CACHE_DIR}", "{}", "target_spec has an empty token name"},
      {"brace without name", "\\App'", "\\App}'", "target_spec has a \"}\" with no open name"},
      {"brace inside a name", "{CACHE_DIR}", "{A{CACHE_DIR}", "target_spec has a \"{\" inside"},
      {"unclosed name", "\\App'", "\\{App'", "target_spec has a \"{\" that is never closed"},
      {"spec too long", "\\App'", "\\" + std::string(4090, 'a') + "'",
       "target_spec is longer than 4095"},
      {"relative spec", R"('{CACHE_DIR}\Co\App')", R"('Co\App')", "target_spec is not absolute"},
      {"spec with a quote", R"(\App')", R"(\A"pp')", R"(target_spec holds """ at unit)"},
      // The same target written out would be refused; the launcher takes the value as it is.
      {"company leading elsewhere", "'{CACHE_DIR}\\Co\\App'\n[version]\ncompany = \"Co\"",
       "'{CACHE_DIR}\\{COMPANY}\\App'\n[version]\ncompany = '..\\..\\ProgramData\\Evil'",
       R"(target_spec uses {COMPANY}, which is "..\..\ProgramData\Evil" (version.company) and )"
       R"(holds "\" and a ".." name, so the target directory may lie outside the user's own)"},
      {"full path after the start", R"('{CACHE_DIR}\Co\App')", R"('{CACHE_DIR}{TEMP}')",
       "target_spec has {TEMP} at unit 12: {TEMP} gives a full path, which may only start the "
       "spec"},
      {"unknown launcher kind", "main = ", "launcher = \"gui\"\nmain = ",
       R"(application.launcher "gui" is neither "console" nor "windowed")"},
      {"empty icon", "\"icon.ico\"", "\"\"", "application.icon is empty"},
      {"arguments not an array", "main = ", "arguments = '{TARGET_DIR}'\nmain = ",
       "application.arguments must be an array of strings"},
      {"argument not a string",
       "main = ", "arguments = ['a', 1]\nmain = ", "application.arguments[1] must be a string"},
      {"other token in an argument", "main = ", "arguments = ['{TARGET_DIR}\\{TEMP}']\nmain = ",
       R"(application.arguments[0] holds "{TEMP}" at unit 14: braces only ever enclose)"},
      // Four target directories of 4095 characters, each backslash doubled before its quote.
      {"arguments too long", "main = ",
       "arguments = ['{TARGET_DIR}', '{TARGET_DIR}', '{TARGET_DIR}', '{TARGET_DIR}']\nmain = ",
       "application.arguments could take 32772 characters"},
      {"main is no program",
       "",
       "",
       R"(application.main "App.exe" ()",
       "",
       {"--app", (scratch_ / "text-app").string()}},
      {"main not in the folder", "\"App.exe\"", "\"Other.exe\"",
       "application.main \"Other.exe\" is not a file in"},
      {"main in another case", "\"App.exe\"", "\"APP.exe\"",
       "application.main \"APP.exe\" is not a file in " + (scratch_ / "app").string() +
           "; \"App.exe\" is, in other letter case"},
      {"folder missing", "\"app\"", "\"nope\"", "application.folder \""},
      {"icon missing", "\"icon.ico\"", "\"none.ico\"", "none.ico\" does not exist"},
      {"not an icon", "", "", "application.icon \"", "GIF89a"},
      {"icon of no images", "", "", "holds no images", iconHeader(1, 0)},
      {"cursor", "", "", "is not an icon file", iconHeader(2, 1) + std::string(16, '\0')},
      {"icon directory cut", "", "", "directory of 2 images runs past the end",
       iconHeader(1, 2) + std::string(16, '\0')},
      {"image past the end", "", "", "image 2 (", makeIcon({16, 32}).substr(0, 200)},
      {"image neither PNG nor bitmap", "", "", "image 1 is neither a PNG image nor a bitmap",
       [] {
         std::string icon = makeIcon({16});
         icon[22] = 'X';  // the first byte of the PNG signature
         return icon;
       }()},
      {"PNG signature alone", "", "", "image 1 is a PNG image whose header chunk (IHDR)",
       iconSharingAnImage(1, "\x89PNG\r\n\x1a\n")},
      {"one 64 KB image 65535 times", "", "",
       "has images of 4294901760 bytes in all, more than the 8388608",
       [] {
         const std::string icon = makeIcon({16});
         return iconSharingAnImage(65535, icon.substr(22).append(65536 - (icon.size() - 22), 0));
       }()},
      {"TOML syntax", "\"Co\"", "\"Co", "launcher.toml:3:"},
  };
  cases.insert(cases.end(), more.begin(), more.end());
  for (const BadConfig& bad : cases) {
    SCOPED_TRACE(bad.label);
    ToolResult result = run(edited(bad), bad.extra, bad.icon);
    EXPECT_NE(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("tarnic-pack: error: ", 0), 0u) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_NE(result.err.find(bad.words), std::string::npos) << bad.words << "\n" << result.err;
    EXPECT_EQ(namesIn(scratch_ / "out"), std::vector<std::string>{}) << "no .exe, no temporary";
  }
}

// Every mistake of the configuration, its icon and its folder in one run, each with its file
// and key; nothing written, not even the output's folder.
TEST_F(LauncherConfigCheck, ReportsEveryProblemInOneRunAndWritesNothing) {
  for (const char* name : {"a.txt", "A.TXT", "lib/b.dll", "LIB/c.dll"}) {
    writeFile(scratch_ / "app" / name, "x");
  }
  const std::string config = R"(target_spec = '{PROGRAM_DIR}\App'
[version]
company = ""
prodcut = "App"
version = "1.2.3"
file_version = "1.2.3.4"
product_version = "1.2.3.4"
copyright = 5
[application]
folder = "app"
main = "App.exe"
icon = "none.ico"
launcher = "gui"
)";
  writeFile(scratch_ / "launcher.toml", config);
  ToolResult result = runPack({"launcher", "--config", scratch_ / "launcher.toml", "--out",
                               scratch_ / "dist/App.exe", "--level", "1"});
  EXPECT_NE(result.status, 0);
  const std::string file = (scratch_ / "launcher.toml").string();
  EXPECT_EQ(result.err.rfind("tarnic-pack: error: " + file + ": 10 problems:\n", 0), 0u)
      << result.err;
  for (const char* problem :
       {"version.prodcut is not a known key (did you mean `product`?)", "version.company is empty",
        "version.product is missing", "version.version \"1.2.3\" is not four numbers",
        "version.copyright must be a string", "application.icon \"",
        R"(application.launcher "gui" is neither)",
        "target_spec does not start in a folder of the user's own"}) {
    EXPECT_NE(result.err.find("\n  " + file + ": " + problem), std::string::npos) << problem << "\n"
                                                                                  << result.err;
  }
  for (const char* pair : {R"("A.TXT" and "a.txt")", R"("LIB" and "lib")"}) {
    EXPECT_NE(result.err.find(std::string(pair) + " differ only in letter case"), std::string::npos)
        << pair << "\n"
        << result.err;
  }
  EXPECT_FALSE(fs::exists(scratch_ / "dist"));
}

// A mistaken token, main program and target, and outputs that cannot be written: all of them in
// one run, each with its fix, before anything is packed; nothing written.
TEST_F(LauncherConfigCheck, AnswersEveryMistakeWithItsFixInOneRun) {
  writeFile(scratch_ / "launcher.toml", R"(target_spec = 'C:\Games\{APPDATA}\Mines'
[version]
company = "Co"
product = "App"
version = "1.2.3.4"
file_version = "1.2.3.4"
product_version = "1.2.3.4"
copyright = ""
[application]
folder = "packaging/../app"
main = "Ap.exe"
exclude = ["*.exe"]
)");
  writeFile(scratch_ / "notes.txt", "");
  const std::string file = (scratch_ / "launcher.toml").string();
  ToolResult result = runPack({"launcher", "--config", scratch_ / "launcher.toml", "--out",
                               scratch_ / "out", "--depfile", scratch_ / "notes.txt/App.d"});
  EXPECT_NE(result.status, 0);
  const std::vector<std::string> lines{
      file + ": 5 problems:",
      file +
          ": target_spec has the unknown token \"{APPDATA}\" (did you mean {CACHE_DIR}?); the "
          "tokens are {TEMP},",
      "--out " + (scratch_ / "out").string() + " is a folder: name the file to write, such as " +
          (scratch_ / "out/Ap.exe").string(),
      "--depfile " + (scratch_ / "notes.txt/App.d").string() +
          " cannot be written: " + (scratch_ / "notes.txt").string() + " is a file, not a folder",
      file + ": application.main \"Ap.exe\" is not a file in " + (scratch_ / "app").string() +
          " (did you mean \"App.exe\"?), and is left out by the exclude pattern \"*.exe\"",
      file +
          ": target_spec does not start in a folder of the user's own ({CACHE_DIR}, {HOME} or "
          "{TEMP}): whoever else can write to the target directory can change the program "
          "that the launcher starts; add shared_target = true to [application] if that is "
          "intended"};
  for (const std::string& line : lines) {
    EXPECT_NE(result.err.find(line), std::string::npos) << line << "\n" << result.err;
  }
  EXPECT_EQ(namesIn(scratch_ / "out"), std::vector<std::string>{});
  EXPECT_EQ(namesIn(scratch_.path()),
            (std::vector<std::string>{"app", "launcher.toml", "notes.txt", "out", "text-app"}));
}

// What a new user writes from habit: a variable of the environment for the folder, the token
// of the arguments in the target, an output without .exe; each with its fix.
TEST_F(LauncherConfigCheck, AnswersHabitsOfOtherToolsWithTheirFix) {
  writeFile(scratch_ / "launcher.toml",
            edited({"", R"('{CACHE_DIR}\Co\App')", R"('%LOCALAPPDATA%\Acme\{TARGET_DIR}')", ""}));
  writeFile(scratch_ / "icon.ico", makeIcon({16}));
  ToolResult result = runPack(
      {"launcher", "--config", scratch_ / "launcher.toml", "--out", scratch_ / "out/Mines"});
  const std::string file = (scratch_ / "launcher.toml").string();
  EXPECT_EQ(result.err,
            "tarnic-pack: error: " + file + ": 3 problems:\n  " + file +
                ": target_spec has the unknown token \"{TARGET_DIR}\" ({TARGET_DIR} is the target "
                "directory itself, for application.arguments only); the tokens are {TEMP}, "
                "{PROGRAM}, {PROGRAM_BASE}, {PROGRAM_DIR}, {PID}, {HOME}, {CACHE_DIR}, {COMPANY}, "
                "{PRODUCT}, {VERSION}, {FILE_VERSION}, {PRODUCT_VERSION}, {RANDOM}, {TIME_US}, "
                "{TIME}\n  " +
                file +
                ": target_spec is not absolute, so the launcher would unpack below whatever "
                "folder it is started in: start it with a token that gives a full path ({TEMP}, "
                "{PROGRAM}, {PROGRAM_BASE}, {PROGRAM_DIR}, {HOME}, {CACHE_DIR}), a drive such as "
                "\"C:\\\" or a share such as \"\\\\server\\share\"; the launcher expands no "
                "environment variable such as \"%LOCALAPPDATA%\": write {CACHE_DIR} in its place\n"
                "  --out " +
                (scratch_ / "out/Mines").string() +
                " does not end in .exe, which Windows starts programs by: name it " +
                (scratch_ / "out/Mines").string() + ".exe\n");
  EXPECT_EQ(namesIn(scratch_ / "out"), std::vector<std::string>{});
}

// As build tools do; and a launcher written into its own application folder does not carry
// the one before it, nor its depfile.
TEST_F(LauncherConfigCheck, MakesTheOutputsFolderAndLeavesItsOwnOutputsOutOfThePack) {
  writeFile(scratch_ / "launcher.toml", kBaseConfig);
  writeFile(scratch_ / "icon.ico", makeIcon({16}));
  const fs::path out = scratch_ / "app/dist/App-Launcher.exe";
  const fs::path depfile = scratch_ / "deps/App.d";
  const std::vector<std::string> command{"launcher", "--config", scratch_ / "launcher.toml",
                                         "--out",    out,        "--depfile",
                                         depfile,    "--level",  "1"};
  ToolResult first = runPack(command);
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.err.find("left out"), std::string::npos) << first.err;
  ToolResult second = runPack(command);
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_NE(second.err.find(": 1 file, "), std::string::npos) << second.err;
  EXPECT_NE(second.err.find("; left out: " + out.string() + ", which this run writes\n"),
            std::string::npos)
      << second.err;
  EXPECT_EQ(runPack({"list", out}).out.find("dist"), std::string::npos);
  const std::string rule = readFile(depfile);
  EXPECT_EQ(rule.find("App-Launcher.exe"), rule.rfind("App-Launcher.exe"))
      << "the output is no input of its own: " << rule;
}

// The targets every start takes, as earlier launchers did, and those it refuses, which the
// packer refuses first with the rule the launcher applies (rules/target_rule.h).
TEST_F(LauncherConfigCheck, PacksTheTargetsALauncherTakesAndRefusesTheOthersWithTheirFix) {
  const std::string spec = R"('{CACHE_DIR}\Co\App')";
  for (const char* kept : {R"('{PROGRAM}.d')", R"('{PROGRAM_BASE}_data')", R"('{TEMP}-t')",
                           R"('{TEMP}x\X')", R"('{CACHE_DIR}\a\..\b')"}) {
    SCOPED_TRACE(kept);
    std::string config = edited({"", spec, kept, ""});
    ToolResult result = run(config.replace(config.find("main ="), 0, "shared_target = true\n"));
    EXPECT_EQ(result.status, 0) << result.err;
    fs::remove(scratch_ / "out/App.exe");
  }
  const std::string file = (scratch_ / "launcher.toml").string() + ": target_spec ";
  const std::string refused =
      "; the launcher refuses that at every start, with shared_target = true too";
  const std::pair<std::string, std::string> cases[] = {
      {R"('{CACHE_DIR}\..\LocalLow\X'
[application]
shared_target = true)",
       "climbs out of the user's own folder that {CACHE_DIR} gives, with the \"..\" at unit 13" +
           refused +
           ": a target lies in that folder, below it, or beside it under a name that goes on "
           "from the folder's own, such as {CACHE_DIR}-data"},
      {R"('{PROGRAM_DIR}x\..\y'
[application]
shared_target = true)",
       "climbs out of the folder that {PROGRAM_DIR} gives, with the \"..\" at unit 16" + refused +
           ": a target lies in that folder, below it, or beside it under a name that goes on "
           "from the folder's own, such as {PROGRAM_DIR}-data"},
      {R"('{CACHE_DIR}\NUL\X')",
       "has the folder name \"NUL\" at unit 13, which Windows cannot create as it is: \"NUL\" is "
       "the device NUL on Windows; rename it"},
      {R"('{TEMP}. \X')",
       "has the folder name \"{TEMP}. \" at unit 7, which Windows cannot create as it is: "
       "\"{TEMP}. \" ends in a dot or a blank, which Windows drops; rename it"},
      {R"('{CACHE_DIR}\{COMPANY}\App'
[version]
company = "nul.Works")",
       "uses {COMPANY}, which is \"nul.Works\" (version.company) and makes the folder name "
       "\"nul.Works\", which Windows cannot create as it is: \"nul.Works\" is the device NUL on "
       "Windows; give version.company another value, or write the folder's name into "
       "target_spec"},
      {R"('{CACHE_DIR}\{COMPANY}\App'
[version]
company = "Co: the Company")",
       "uses {COMPANY}, which is \"Co: the Company\" (version.company) and holds \":\", a "
       "character no Windows path can hold there; give version.company a value without it"},
      {R"('{CACHE_DIR}\{COMPANY}\App'
[version]
company = "Co\\..\\.."
[application]
shared_target = true)",
       "uses {COMPANY}, which is \"Co\\..\\..\" (version.company) and holds \"\\\" and a \"..\" "
       "name, so the target directory may lie outside the user's own folder that {CACHE_DIR} "
       "gives" +
           refused + ": give version.company a value without them"},
  };
  for (const auto& [change, problem] : cases) {
    SCOPED_TRACE(change);
    std::string config = kBaseConfig;
    const size_t end = change.find('\n');
    config.replace(0, config.find('\n'), "target_spec = " + change.substr(0, end));
    for (size_t at = end; at != std::string::npos && at < change.size();) {
      // The other lines replace the key of their table, or join it.
      const size_t next = change.find('\n', at + 1);
      const std::string line = change.substr(at + 1, next - at - 1);
      if (line[0] != '[') {
        const std::string key = line.substr(0, line.find(" = ") + 3);
        const size_t old = config.find("\n" + key);
        config = old == std::string::npos
                     ? config.replace(config.find("main ="), 0, line + "\n")
                     : config.replace(old + 1, config.find('\n', old + 1) - old - 1, line);
      }
      at = next;
    }
    ToolResult result = run(config);
    EXPECT_EQ(result.err, "tarnic-pack: error: " + file + problem + "\n");
    EXPECT_EQ(namesIn(scratch_ / "out"), std::vector<std::string>{});
  }
}

// With the configuration in a folder of its own, every path that its messages suggest is the
// one to write there, and packs once written: relative to that folder, as the keys take them.
TEST_F(LauncherConfigCheck, SuggestsEveryPathAsTheConfigurationTakesIt) {
  writeFile(scratch_ / "dist/mines/App.exe", makeProgram());
  writeFile(scratch_ / "art/mines.ico", makeIcon({16}));
  const fs::path config = scratch_ / "packaging/mines.toml";
  std::string text = kBaseConfig;
  text.replace(text.find("folder = \"app\""), 14, "folder = '../dist/mine'");
  text.replace(text.find("icon = \"icon.ico\""), 17, "icon = '../art/mine.ico'");
  const auto pack = [&] {
    writeFile(config, text);
    return runProgram({TARNIC_PACK, "--quiet", "launcher", "--config", "packaging/mines.toml",
                       "--out", "Mines.exe", "--level", "1"},
                      scratch_.path());
  };
  // Pastes each suggestion over what it mends.
  const auto paste = [&](const ToolResult& result, const std::string& key) {
    const size_t at = result.err.find("application." + key);
    const size_t mean = result.err.find("did you mean \"", at) + 14;
    const std::string path = result.err.substr(mean, result.err.find('"', mean) - mean);
    const size_t line = text.find(key + " = ");
    text.replace(line, text.find('\n', line) - line, key + " = '" + path + "'");
  };
  ToolResult first = pack();
  EXPECT_EQ(first.err,
            "tarnic-pack: error: packaging/mines.toml: 2 problems:\n"
            "  packaging/mines.toml: application.icon \"../art/mine.ico\" does not exist (did you "
            "mean \"../art/mines.ico\"?)\n"
            "  packaging/mines.toml: application.folder \"../dist/mine\" is not a folder (did you "
            "mean \"../dist/mines\"?)\n");
  paste(first, "icon");
  // A path written as from the folder the packer runs in.
  text.replace(text.find("folder = "), 23, "folder = 'dist/mines'");
  ToolResult second = pack();
  EXPECT_EQ(second.err,
            "tarnic-pack: error: packaging/mines.toml: application.folder \"dist/mines\" is not a "
            "folder (paths in the configuration are taken from its folder, packaging: did you "
            "mean \"../dist/mines\"?)\n");
  paste(second, "folder");
  ToolResult third = pack();
  EXPECT_EQ(third.status, 0) << third.err;
  EXPECT_TRUE(fs::exists(scratch_ / "Mines.exe"));
}

TEST_F(LauncherConfigCheck, RefusesARegionThatFailsVerificationOrStartsWithAnotherFile) {
  const fs::path good = region("App.exe");
  ToolResult fine = run(kBaseConfig, {"--region", good});
  EXPECT_EQ(fine.status, 0) << fine.err;
  fs::remove(scratch_ / "out/App.exe");

  std::string damaged = readFile(good);
  damaged[damaged.size() - 9] = 1;
  writeFile(scratch_ / "damaged.bin", damaged);
  ToolResult result = run(kBaseConfig, {"--region", scratch_ / "damaged.bin"});
  EXPECT_NE(result.err.find("damaged.bin: the byte after the frame is 1"), std::string::npos)
      << result.err;

  ToolResult other = run(kBaseConfig, {"--region", region("Other.exe")});
  EXPECT_NE(other.err.find("application.main \"App.exe\" is not the first entry of the region"),
            std::string::npos)
      << other.err;
  EXPECT_NE(other.err.find("starts with \"Other.exe\""), std::string::npos) << other.err;
  EXPECT_EQ(namesIn(scratch_ / "out"), std::vector<std::string>{});
}

TEST(VersionText, TakesFourDecimalNumbersUpTo65535) {
  EXPECT_EQ(parseVersion("0.0.0.0"), (VersionNumbers{0, 0, 0, 0}));
  EXPECT_EQ(parseVersion("65535.1.20.007"), (VersionNumbers{65535, 1, 20, 7}));
  for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "1.2.3.", ".1.2.3", "1.2.3.65536", "1.2.3.-1",
                          "1.2.3.+1", " 1.2.3.4", "1.2.3.4 ", "1,2,3,4", "99999999999.1.1.1"}) {
    EXPECT_FALSE(parseVersion(bad)) << bad;
  }
}

}  // namespace

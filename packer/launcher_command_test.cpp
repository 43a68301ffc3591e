// Launchers written by tarnic-pack from the prebuilt images it carries, read back with an
// independent PE reader, llvm-readobj and pefile.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <sstream>
#include <tuple>

#include "tests/packer/pe_reader.h"
#include "tests/packer/test_util.h"

namespace fs = std::filesystem;

namespace {

const std::vector<int> kIconSizes{16, 24, 32, 48, 64, 128, 256};

// Values that only survive when every UTF-16 unit is carried over: a non-BMP character, quotes,
// a backslash, and a hex digit right after a non-ASCII character.
const std::u16string kCompany = u"Z\u00e4rvel \"Dyn\" \\ \U0001F600\u00e91";
const std::u16string kTargetSpec = u"{CACHE_DIR}\\Z\u00e4rvel\\\U0001F600\\{PRODUCT}";
const std::string kConfig = R"(target_spec = '{CACHE_DIR}\Zärvel\😀\{PRODUCT}'
[version]
company = "Zärvel \"Dyn\" \\ 😀é1"
product = "Deck"
version = "1.2.3.4"
file_version = "5.6.7.8"
product_version = "9.10.11.65535"
copyright = "© 2026 Zärvel"
[application]
folder = "app"
main = "bin/Deck-App.EXE"
icon = "deck.ico"
)";

struct Resource {
  int type;
  int id;
  int language;
  std::string data;
};

std::string utf16le(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  }
  return bytes;
}

// The resources as llvm-readobj lists them, with their data from its hex dumps.
std::vector<Resource> resourcesOf(const fs::path& exe) {
  ToolResult dump = runProgram({"llvm-readobj", "--coff-resources", exe}, fs::current_path());
  EXPECT_EQ(dump.status, 0) << dump.err;
  const std::regex type(R"(^\s*Type: .*\(ID (\d+)\))"), name(R"(^\s*Name: .*\(ID (\d+)\))"),
      language(R"(^\s*Language: .*\(ID (\d+)\))"), hex(R"(^\s*[0-9A-F]{4}: ([0-9A-F ]+)\|)");
  std::vector<Resource> resources;
  int currentType = -1, currentId = -1;
  std::istringstream lines(dump.out);
  std::smatch match;
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_search(line, match, type)) {
      currentType = std::stoi(match[1]);
    } else if (std::regex_search(line, match, name)) {
      currentId = std::stoi(match[1]);
    } else if (std::regex_search(line, match, language)) {
      resources.push_back({currentType, currentId, std::stoi(match[1]), ""});
    } else if (std::regex_search(line, match, hex) && !resources.empty()) {
      std::string digits = match[1];
      digits.erase(std::remove(digits.begin(), digits.end(), ' '), digits.end());
      for (size_t i = 0; i + 1 < digits.size(); i += 2) {
        resources.back().data += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
      }
    }
  }
  return resources;
}

// One node of a VS_VERSIONINFO tree.
struct VersionBlock {
  std::u16string key;
  std::string value;  // bytes; text values without their terminating NUL
  std::vector<VersionBlock> children;
};

size_t alignTo4(size_t at) {
  return (at + 3) & ~size_t{3};
}

VersionBlock parseVersionBlock(const std::string& data, size_t at) {
  const size_t end = at + u16At(data, at);
  const size_t valueLength = u16At(data, at + 2);
  const bool text = u16At(data, at + 4) == 1;
  VersionBlock block;
  size_t next = at + 6;
  for (; u16At(data, next) != 0; next += 2) {
    block.key += u16At(data, next);
  }
  next = alignTo4(next + 2);
  const size_t valueBytes = text ? valueLength * 2 : valueLength;
  block.value = data.substr(next, valueBytes);
  if (text && block.value.size() >= 2) {
    block.value.resize(block.value.size() - 2);
  }
  for (next = alignTo4(next + valueBytes); next < end; next = alignTo4(next + u16At(data, next))) {
    block.children.push_back(parseVersionBlock(data, next));
  }
  return block;
}

const Resource* find(const std::vector<Resource>& resources, int type, int id) {
  for (const Resource& resource : resources) {
    if (resource.type == type && resource.id == id) {
      return &resource;
    }
  }
  return nullptr;
}

// A configuration with plain version strings, `spec` and the lines of [application].
std::string plainConfig(const std::string& spec, const std::string& application) {
  return "target_spec = '" + spec + R"('
[version]
company = "C"
product = "P"
version = "1.0.0.0"
file_version = "1.0.0.0"
product_version = "1.0.0.0"
copyright = ""
[application]
)" + application;
}

class Launcher : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(scratch_ / "app/bin/Deck-App.EXE", makeProgram());
    writeFile(scratch_ / "app/data/\xc3\xa9t\xc3\xa9.txt", std::string(5000, 'e'));
    writeFile(scratch_ / "deck.ico", makeIcon(kIconSizes));
    writeFile(scratch_ / "launcher.toml", kConfig);
  }

  // Writes a launcher, `args` naming its application.
  fs::path link(const std::string& name, const std::vector<std::string>& args) {
    std::vector<std::string> command{
        "--quiet", "launcher",      "--config", scratch_ / "launcher.toml",
        "--out",   scratch_ / name, "--level",  "3"};
    command.insert(command.end(), args.begin(), args.end());
    ToolResult result = runPack(command);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    return scratch_ / name;
  }

  ScratchFolder scratch_;
};

TEST_F(Launcher, CarriesExactlyTheIconGroupVersionBlockAndManifest) {
  const std::vector<Resource> resources = resourcesOf(link("Deck.exe", {}));
  constexpr int kIcon = 3, kGroupIcon = 14, kVersion = 16, kManifest = 24;
  std::vector<std::pair<int, int>> ids;
  for (const Resource& resource : resources) {
    ids.emplace_back(resource.type, resource.id);
    EXPECT_EQ(resource.language, 0) << resource.type << "/" << resource.id;
  }
  const std::vector<std::pair<int, int>> expected{
      {kIcon, 1}, {kIcon, 2}, {kIcon, 3},      {kIcon, 4},    {kIcon, 5},
      {kIcon, 6}, {kIcon, 7}, {kGroupIcon, 1}, {kVersion, 1}, {kManifest, 1}};
  EXPECT_EQ(ids, expected);

  const std::string icon = readFile(scratch_ / "deck.ico");
  for (int id = 1; id <= 7; ++id) {
    const size_t entry = 6 + 16 * (id - 1);
    const std::string image = icon.substr(u32At(icon, entry + 12), u32At(icon, entry + 8));
    ASSERT_TRUE(find(resources, kIcon, id));
    EXPECT_EQ(find(resources, kIcon, id)->data, image) << id;
  }
  ASSERT_TRUE(find(resources, kManifest, 1));
  EXPECT_EQ(find(resources, kManifest, 1)->data,
            readFile(fs::path(TARNIC_SOURCE_DIR) / "build/launcher.manifest"));
}

TEST_F(Launcher, HasTheConfiguredVersionBlock) {
  const std::vector<Resource> resources = resourcesOf(link("Deck.exe", {}));
  const Resource* version = find(resources, 16, 1);
  ASSERT_TRUE(version);
  const VersionBlock root = parseVersionBlock(version->data, 0);
  EXPECT_EQ(root.key, u"VS_VERSION_INFO");
  ASSERT_EQ(root.value.size(), 52u);
  const uint32_t expectedFixed[] = {0xFEEF04BD, 0x10000, 0x50006, 0x70008, 0x9000A, 0xBFFFF,
                                    0x3F,       0,       0x4,     0x1,     0};
  for (size_t i = 0; i < std::size(expectedFixed); ++i) {
    EXPECT_EQ(u32At(root.value, 4 * i), expectedFixed[i]) << "field " << i;
  }
  ASSERT_EQ(root.children.size(), 2u);
  EXPECT_EQ(root.children[0].key, u"StringFileInfo");
  ASSERT_EQ(root.children[0].children.size(), 1u);
  const VersionBlock& table = root.children[0].children[0];
  EXPECT_EQ(table.key, u"000004b0");
  const std::pair<std::u16string, std::u16string> strings[] = {
      {u"CompanyName", kCompany},
      {u"ProductName", u"Deck"},
      {u"FileDescription", u"Deck"},
      {u"LegalCopyright", u"\u00a9 2026 Z\u00e4rvel"},
      {u"ProductVersion", u"9.10.11.65535"},
      {u"FileVersion", u"5.6.7.8"},
      {u"OriginalFilename", u"Deck-App.EXE"},
      {u"InternalName", u"Deck-App"}};
  ASSERT_EQ(table.children.size(), std::size(strings));
  for (size_t i = 0; i < std::size(strings); ++i) {
    EXPECT_EQ(table.children[i].key, strings[i].first) << i;
    EXPECT_EQ(table.children[i].value, utf16le(strings[i].second)) << i;
  }
  EXPECT_EQ(root.children[1].key, u"VarFileInfo");
  ASSERT_EQ(root.children[1].children.size(), 1u);
  EXPECT_EQ(root.children[1].children[0].key, u"Translation");
  EXPECT_EQ(root.children[1].children[0].value, std::string("\0\0\xb0\x04", 4));
}

// The descriptor's field `index` (rules/image_descriptor.h): its RVA and length.
std::pair<uint32_t, uint32_t> descriptorField(const TestImage& image, size_t index) {
  const TestSection* descriptor = image.section(".tarnic");
  if (!descriptor) {
    throw std::runtime_error("no descriptor section");
  }
  const size_t field = descriptor->rawOffset + 8 + 8 * index;
  return {u32At(image.bytes, field), u32At(image.bytes, field + 4)};
}

std::string descriptorBytes(const TestImage& image, size_t index) {
  const auto [rva, length] = descriptorField(image, index);
  return image.at(rva, length);
}

TEST_F(Launcher, HoldsTheStringsTheTableAndTheRegionInReadOnlyDataItsDescriptorPointsAt) {
  const TestImage image = readTestImage(readFile(link("Deck.exe", {})));
  const std::u16string strings[] = {kTargetSpec, kCompany,   u"Deck",
                                    u"1.2.3.4",  u"5.6.7.8", u"9.10.11.65535"};
  for (size_t i = 0; i < std::size(strings); ++i) {
    EXPECT_EQ(descriptorBytes(image, i), utf16le(strings[i]) + std::string(2, '\0')) << i;
  }
  ToolResult packed =
      runPack({"--quiet", "region", "--app", scratch_ / "app", "--main", "bin/Deck-App.EXE",
               "--out", scratch_ / "region.bin", "--level", "3"});
  ASSERT_EQ(packed.status, 0) << packed.err;
  EXPECT_EQ(descriptorBytes(image, 7), readFile(scratch_ / "region.bin"))
      << "the region packed alone, byte for byte";
  const std::string table = descriptorBytes(image, 6);
  EXPECT_EQ(table.substr(0, 3), "VXT");
  EXPECT_EQ(u32At(table, 3), 2u) << "entries in the table";
  EXPECT_EQ(descriptorField(image, 8), std::make_pair(0u, 0u)) << "no fixed arguments";

  const TestSection* data = image.section(".payload");
  ASSERT_TRUE(data);
  EXPECT_EQ(data->characteristics, 0x40000040u) << "initialized data, read only";
  for (size_t field = 0; field < 8; ++field) {
    const auto [rva, length] = descriptorField(image, field);
    EXPECT_GE(rva, data->virtualAddress) << field;
    EXPECT_LE(rva + length, data->virtualAddress + data->virtualSize) << field;
  }
}

TEST_F(Launcher, ListsLikeItsRegionWhetherPackedFromTheFolderOrFromTheRegion) {
  ToolResult packed = runPack({"region", "--app", scratch_ / "app", "--main", "bin/Deck-App.EXE",
                               "--out", scratch_ / "region.bin"});
  ASSERT_EQ(packed.status, 0) << packed.err;
  ToolResult region = runPack({"list", scratch_ / "region.bin"});
  ASSERT_EQ(region.status, 0) << region.err;
  EXPECT_NE(region.out.find("bin\\Deck-App.EXE"), std::string::npos);
  for (const fs::path& exe : {link("FromApp.exe", {"--app", scratch_ / "app"}),
                              link("FromRegion.exe", {"--region", scratch_ / "region.bin"})}) {
    ToolResult listed = runPack({"list", exe});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out, region.out) << exe;
  }
  EXPECT_EQ(namesIn(scratch_.path()),
            (std::vector<std::string>{"FromApp.exe", "FromRegion.exe", "app", "deck.ico",
                                      "launcher.toml", "region.bin"}));
}

TEST_F(Launcher, AgreesInEveryHeaderFieldWithAReaderOfItsOwn) {
  const fs::path exe = link("Deck.exe", {});
  ToolResult checked = runProgram(
      {TARNIC_PEFILE_PYTHON, fs::path(TARNIC_SOURCE_DIR) / "tests/packer/check_image.py", exe},
      fs::current_path());
  EXPECT_EQ(checked.status, 0) << checked.out << checked.err;
  const TestImage image = readTestImage(readFile(exe));
  EXPECT_EQ(image.checksum, documentedChecksum(image.bytes, image.checksumOffset));
  EXPECT_EQ(image.timeStamp, 0u);
  EXPECT_NE(image.dllCharacteristics & 0x40, 0) << "loads at any base";
  EXPECT_NE(image.directories.at(5).first, 0u) << "keeps its relocations";
}

TEST_F(Launcher, IsTheSameByteForByteOnAnotherDayInAnotherPlaceOnOneThread) {
  const std::string first = readFile(link("First.exe", {}));
  // The clock moved by 400 days for the second run: prove that faketime moves it.
  const ToolResult now = runProgram({"date", "+%s"}, fs::current_path());
  const ToolResult later =
      runProgram({"faketime", "-f", "+400d", "date", "+%s"}, fs::current_path());
  ASSERT_GT(std::stoll(later.out) - std::stoll(now.out), 399 * 86400) << later.err;
  const fs::path elsewhere = scratch_ / "elsewhere";
  fs::create_directories(elsewhere);
  ToolResult second = runProgram(
      {"env", "TZ=Pacific/Kiritimati", "LC_ALL=C.UTF-8", "TMPDIR=" + elsewhere.string(), "faketime",
       "-f", "+400d", TARNIC_PACK, "--quiet", "launcher", "--config", scratch_ / "launcher.toml",
       "--out", "Second.exe", "--level", "3", "--threads", "1"},
      elsewhere);
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_TRUE(readFile(elsewhere / "Second.exe") == first) << "the two launchers differ";
}

TEST_F(Launcher, TakesItsTimeStampFromSourceDateEpochAndNothingElse) {
  const std::string plain = readFile(link("Plain.exe", {}));
  ToolResult stamped = runProgram(
      {"env", "SOURCE_DATE_EPOCH=1767225600", TARNIC_PACK, "--quiet", "launcher", "--config",
       scratch_ / "launcher.toml", "--out", scratch_ / "Stamped.exe", "--level", "3"},
      fs::current_path());
  ASSERT_EQ(stamped.status, 0) << stamped.err;
  const TestImage image = readTestImage(readFile(scratch_ / "Stamped.exe"));
  EXPECT_EQ(image.timeStamp, 1767225600u);
  EXPECT_EQ(image.checksum, documentedChecksum(image.bytes, image.checksumOffset));
  std::string same = image.bytes;
  const size_t stampAt = u32At(same, 0x3C) + 8;
  same.replace(stampAt, 4, plain.substr(stampAt, 4));
  same.replace(image.checksumOffset, 4, plain.substr(image.checksumOffset, 4));
  EXPECT_TRUE(same == plain) << "more than the time stamp and the checksum differ";

  ToolResult wrong =
      runProgram({"env", "SOURCE_DATE_EPOCH=yesterday", TARNIC_PACK, "launcher", "--config",
                  scratch_ / "launcher.toml", "--out", scratch_ / "Wrong.exe"},
                 fs::current_path());
  EXPECT_NE(wrong.status, 0);
  EXPECT_NE(wrong.err.find("SOURCE_DATE_EPOCH \"yesterday\" is not a number of seconds"),
            std::string::npos)
      << wrong.err;
}

TEST_F(Launcher, FollowsTheMainProgramsSubsystemUnlessTheConfigurationChooses) {
  EXPECT_EQ(readTestImage(readFile(link("Console.exe", {}))).subsystem, 3);
  ProgramHeaders gui;
  gui.subsystem = 2;
  writeFile(scratch_ / "app/bin/Deck-App.EXE", makeProgram(gui));
  EXPECT_EQ(readTestImage(readFile(link("Windowed.exe", {}))).subsystem, 2);
  writeFile(scratch_ / "launcher.toml", kConfig + "launcher = \"console\"\n");
  EXPECT_EQ(readTestImage(readFile(link("Chosen.exe", {}))).subsystem, 3);
}

TEST_F(Launcher, CarriesTheProgressWindowOptionWhenTheConfigurationAsksForIt) {
  EXPECT_EQ(descriptorField(readTestImage(readFile(link("Plain.exe", {}))), 9),
            std::make_pair(0u, 0u))
      << "no options";
  writeFile(scratch_ / "launcher.toml", kConfig + "progress_window = true\n");
  EXPECT_EQ(descriptorBytes(readTestImage(readFile(link("Progress.exe", {}))), 9),
            std::string("\x04\0\0\0", 4));
}

// A copy per start is left behind unless the launcher removes it, and a copy that starts share
// goes with the last of them: the summary says which.
TEST_F(Launcher, SaysWhenEveryStartLeavesACopyOfItsOwnAndWhoRemovesASharedOne) {
  const std::string copy = "each start leaves a full copy";
  const std::string shared = "starts of this target share one copy; the last to end removes it";
  for (const auto& [spec, application, noted, sharedNoted] :
       {std::tuple{"{TEMP}\\App-{random}", "", true, false},
        {"{TEMP}\\App-{RANDOM}", "remove_after_exit = true\n", false, false},
        {"{TEMP}\\App", "remove_after_exit = true\n", false, true},
        {"{CACHE_DIR}\\App\\{VERSION}", "", false, false}}) {
    writeFile(scratch_ / "launcher.toml",
              plainConfig(
                  spec, "folder = 'app'\nmain = 'bin/Deck-App.EXE'\n" + std::string(application)));
    ToolResult result =
        runPack({"launcher", "--config", scratch_ / "launcher.toml", "--out", scratch_ / "A.exe"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err.find(copy) != std::string::npos, noted) << spec << ": " << result.err;
    EXPECT_EQ(result.err.find(shared) != std::string::npos, sharedNoted)
        << spec << ": " << result.err;
  }
}

// keep_versions reaches the launcher in its options' second byte; a count it cannot hold, or
// one beside a target others may write below, is refused with the key.
TEST_F(Launcher, CarriesTheVersionsToKeepAndRefusesCountsItCannotKeep) {
  writeFile(scratch_ / "launcher.toml", kConfig + "keep_versions = 2\n");
  EXPECT_EQ(descriptorBytes(readTestImage(readFile(link("Kept.exe", {}))), 9),
            std::string("\0\x02\0\0", 4));
  for (const auto& [line, why] :
       {std::pair{"keep_versions = 0\n", "must be a whole number from 1 to 255"},
        {"keep_versions = 'two'\n", "must be a whole number from 1 to 255"},
        {"keep_versions = 2\nshared_target = true\n", "cannot go with shared_target = true"}}) {
    writeFile(scratch_ / "launcher.toml", kConfig + line);
    ToolResult result =
        runPack({"launcher", "--config", scratch_ / "launcher.toml", "--out", scratch_ / "K.exe"});
    EXPECT_NE(result.status, 0) << line;
    EXPECT_NE(result.err.find("application.keep_versions " + std::string(why)), std::string::npos)
        << result.err;
  }
}

TEST(LauncherMain, RefusesAnythingButA64BitX64ProgramNamingTheFileAndWhatItIs) {
  ScratchFolder scratch;
  writeFile(scratch / "launcher.toml",
            plainConfig(R"({TEMP}\x)", "folder = \"app\"\nmain = \"App.exe\"\n"));
  ProgramHeaders pe32, arm64, dll;
  pe32.magic = 0x10B;
  pe32.machine = 0x14C;
  arm64.machine = 0xAA64;
  dll.characteristics = 0x2022;
  // A real program cut short, as a failed copy leaves it: Windows would not start it.
  const std::string console = readFile(TARNIC_CONSOLE_LAUNCHER);
  const std::pair<std::string, std::string> cases[] = {
      {"just some text", "is not a Windows program: it does not start with \"MZ\""},
      {"", "is empty (0 bytes)"},
      {makeProgram(pe32), "is a 32-bit Windows program (PE32, machine 0x14c, x86)"},
      {makeProgram(arm64),
       "is a 64-bit Windows program for another processor (machine 0xaa64, "
       "ARM64)"},
      {makeProgram(dll), "is a DLL, not a program"},
      {console.substr(0, 1024), "is cut short: its section \".text\" ("},
      {console.substr(0, console.size() / 2), "is cut short: its section \".text\" ("},
  };
  const std::string where =
      "application.main \"App.exe\" (" + (scratch / "app/App.exe").string() + ") ";
  for (const auto& [bytes, what] : cases) {
    writeFile(scratch / "app/App.exe", bytes);
    ToolResult result = runPack(
        {"launcher", "--config", scratch / "launcher.toml", "--out", scratch / "App-Launcher.exe"});
    EXPECT_NE(result.status, 0) << what;
    EXPECT_NE(result.err.find(where + what), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(scratch / "App-Launcher.exe")) << what;
  }
  // The same from a region, whose first entry is read back for it.
  ToolResult region = runPack({"--quiet", "region", "--app", scratch / "app", "--main", "App.exe",
                               "--out", scratch / "app.region"});
  ASSERT_EQ(region.status, 0) << region.err;
  ToolResult result = runPack({"launcher", "--config", scratch / "launcher.toml", "--region",
                               scratch / "app.region", "--out", scratch / "App-Launcher.exe"});
  EXPECT_NE(result.err.find("is cut short: its section"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("the first entry of " + (scratch / "app.region").string()),
            std::string::npos)
      << result.err;
}

TEST(LauncherIcon, IsTheProjectsOwnWhenTheConfigurationNamesNone) {
  ScratchFolder scratch;
  writeFile(scratch / "app/App.exe", makeProgram());
  writeFile(scratch / "launcher.toml", plainConfig(R"({TEMP}\x)", "main = \"App.exe\"\n"));
  ToolResult result = runPack({"--quiet", "launcher", "--config", scratch / "launcher.toml",
                               "--app", scratch / "app", "--out", scratch / "App-Launcher.exe"});
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<Resource> resources = resourcesOf(scratch / "App-Launcher.exe");
  const std::string icon = readFile(TARNIC_ICON_FILE);
  const uint16_t images = u16At(icon, 4);
  ASSERT_EQ(images, 7);
  for (int id = 1; id <= images; ++id) {
    const size_t entry = 6 + 16 * (id - 1);
    ASSERT_TRUE(find(resources, 3, id)) << id;
    EXPECT_EQ(find(resources, 3, id)->data,
              icon.substr(u32At(icon, entry + 12), u32At(icon, entry + 8)))
        << id;
  }
}

// A launcher is itself a program with an icon group: packed as the main program of another
// launcher, from its folder or from a region, it lends that launcher its icon, every size.
TEST(LauncherIcon, IsTheMainProgramsOwnWhenTheConfigurationNamesNone) {
  ScratchFolder scratch;
  const std::string icon = makeIcon({16, 32, 48});
  writeFile(scratch / "first.ico", icon);
  writeFile(scratch / "app/App.exe", makeProgram());
  writeFile(scratch / "first.toml",
            plainConfig(R"({TEMP}\x)", "main = \"App.exe\"\nicon = \"first.ico\"\n"));
  ToolResult first = runPack({"--quiet", "launcher", "--config", scratch / "first.toml", "--app",
                              scratch / "app", "--out", scratch / "main/Main.exe"});
  ASSERT_EQ(first.status, 0) << first.err;
  ToolResult region = runPack({"--quiet", "region", "--app", scratch / "main", "--main", "Main.exe",
                               "--out", scratch / "main.region"});
  ASSERT_EQ(region.status, 0) << region.err;
  writeFile(scratch / "second.toml", plainConfig(R"({TEMP}\x)", "main = \"Main.exe\"\n"));
  for (const std::string source : {"--app", "--region"}) {
    SCOPED_TRACE(source);
    const fs::path from = source == "--app" ? scratch / "main" : scratch / "main.region";
    ToolResult second = runPack({"--quiet", "launcher", "--config", scratch / "second.toml", source,
                                 from, "--out", scratch / "Second.exe"});
    ASSERT_EQ(second.status, 0) << second.err;
    const std::vector<Resource> resources = resourcesOf(scratch / "Second.exe");
    for (int id = 1; id <= 3; ++id) {
      const size_t entry = 6 + 16 * (id - 1);
      ASSERT_TRUE(find(resources, 3, id)) << id;
      EXPECT_EQ(find(resources, 3, id)->data,
                icon.substr(u32At(icon, entry + 12), u32At(icon, entry + 8)))
          << id;
    }
    EXPECT_FALSE(find(resources, 3, 4));
    ASSERT_TRUE(find(resources, 14, 1));
    EXPECT_EQ(find(resources, 14, 1)->data,
              find(resourcesOf(scratch / "main/Main.exe"), 14, 1)->data);
  }

  // A group that names an image the program lacks is refused, not carried half.
  std::string damaged = readFile(scratch / "main/Main.exe");
  const std::string group = find(resourcesOf(scratch / "main/Main.exe"), 14, 1)->data;
  const size_t at = damaged.find(group);
  ASSERT_NE(at, std::string::npos);
  damaged[at + 6 + 12] = 99;  // the first entry's image id
  writeFile(scratch / "main/Main.exe", damaged);
  ToolResult refused = runPack({"--quiet", "launcher", "--config", scratch / "second.toml", "--app",
                                scratch / "main", "--out", scratch / "Damaged.exe"});
  EXPECT_NE(refused.status, 0);
  EXPECT_NE(
      refused.err.find("application.main \"Main.exe\" (" + (scratch / "main/Main.exe").string() +
                       ") has an icon the launcher cannot carry: its icon group names the "
                       "icon 99, which it lacks; name one with application.icon"),
      std::string::npos)
      << refused.err;
  EXPECT_FALSE(fs::exists(scratch / "Damaged.exe"));

  // A group that names one image of 64 KiB 20,000 times: refused from the group's entries,
  // before 1.3 GB of copies are made, in far less than a quarter of a GiB.
  writeFile(scratch / "main/Main.exe", makeProgramWithIconGroup(64 * 1024, 20000));
  ToolResult tooLarge = runProgram(
      {"prlimit", "--as=268435456", TARNIC_PACK, "--quiet", "launcher", "--config",
       scratch / "second.toml", "--app", scratch / "main", "--out", scratch / "Large.exe"},
      fs::current_path());
  EXPECT_NE(tooLarge.status, 0);
  EXPECT_NE(tooLarge.err.find("has an icon the launcher cannot carry: has images of 1310720000 "
                              "bytes in all, more than the 8388608 a launcher's resources may "
                              "hold; name one with application.icon"),
            std::string::npos)
      << tooLarge.err;
}

// The strings and the fixed versions of an image's version block, the file names aside.
std::vector<std::pair<std::u16string, std::string>> versionOf(const fs::path& exe) {
  const std::vector<Resource> resources = resourcesOf(exe);
  const Resource* resource = find(resources, 16, 1);
  if (!resource) {
    return {};
  }
  const VersionBlock root = parseVersionBlock(resource->data, 0);
  std::vector<std::pair<std::u16string, std::string>> strings{
      {u"(fixed versions)", root.value.substr(8, 16)}};
  for (const VersionBlock& string : root.children.at(0).children.at(0).children) {
    if (string.key != u"OriginalFilename" && string.key != u"InternalName") {
      strings.emplace_back(string.key, string.value);
    }
  }
  return strings;
}

// `init` on a folder whose program carries a version resource (a launcher, whose company
// takes a quote and an apostrophe to the configuration's strings): the file packs at once, into
// a launcher with the program's version block, and keeps taking the values from the program.
TEST(Init, WritesAConfigurationThatPacksTheFolderAtOnce) {
  ScratchFolder scratch;
  writeFile(scratch / "build/App.exe", makeProgram());
  writeFile(scratch / "build.toml",
            R"(target_spec = '{TEMP}\x'
[version]
company = "Z\u00e4rvel's \"Dyn\" \\ Labs"
product = "Deck"
version = "1.2.3.4"
file_version = "5.6.7.8"
product_version = "9.10.11.12"
copyright = "\u00a9 Z"
description = "The deck"
[application]
main = "App.exe"
)");
  ToolResult built = runPack({"--quiet", "launcher", "--config", scratch / "build.toml", "--app",
                              scratch / "build", "--out", scratch / "app/Deck.exe"});
  ASSERT_EQ(built.status, 0) << built.err;
  writeFile(scratch / "app/data/cards.txt", "cards");
  ToolResult init = runProgram({TARNIC_PACK, "init", "app"}, scratch.path());
  ASSERT_EQ(init.status, 0) << init.err;
  EXPECT_EQ(init.err,
            "tarnic-pack: tarnic.toml: written; pack with tarnic-pack launcher --config "
            "tarnic.toml --out Deck.exe\n");
  EXPECT_NE(readFile(scratch / "tarnic.toml")
                .find(R"(target_spec = "{CACHE_DIR}\\Zärvel's Dyn  Labs\\Deck\\{VERSION}")"),
            std::string::npos)
      << readFile(scratch / "tarnic.toml");
  ToolResult packed = runProgram(
      {TARNIC_PACK, "--quiet", "launcher", "--config", "tarnic.toml", "--out", "Deck.exe"},
      scratch.path());
  ASSERT_EQ(packed.status, 0) << packed.err;
  EXPECT_EQ(versionOf(scratch / "Deck.exe"), versionOf(scratch / "app/Deck.exe"));
  EXPECT_EQ(versionOf(scratch / "Deck.exe").size(), 7u);
  EXPECT_NE(runPack({"list", scratch / "Deck.exe"}).out.find("data\\cards.txt"), std::string::npos);

  // A value taken from the program goes through the target's checks as a written one does.
  std::string config = readFile(scratch / "tarnic.toml");
  const size_t spec = config.find("target_spec");
  config.replace(spec, config.find('\n', spec) - spec, R"(target_spec = '{CACHE_DIR}\{COMPANY}')");
  writeFile(scratch / "tarnic.toml", config);
  packed = runProgram({TARNIC_PACK, "launcher", "--config", "tarnic.toml", "--out", "Two.exe"},
                      scratch.path());
  EXPECT_NE(packed.err.find("target_spec uses {COMPANY}, which is \"Zärvel's \"Dyn\" \\ Labs\" "
                            "(CompanyName of \"Deck.exe\") and holds \"\\\""),
            std::string::npos)
      << packed.err;
}

// A version resource whose blocks run past their bounds is reported, not followed, wherever
// [version] leaves a key to it.
TEST(LauncherVersion, RefusesADamagedVersionResourceOfTheMainProgram) {
  ScratchFolder scratch;
  writeFile(scratch / "build/App.exe", makeProgram());
  writeFile(scratch / "build.toml", plainConfig(R"({TEMP}\x)", "main = \"App.exe\"\n"));
  ToolResult built = runPack({"--quiet", "launcher", "--config", scratch / "build.toml", "--app",
                              scratch / "build", "--out", scratch / "app/App.exe"});
  ASSERT_EQ(built.status, 0) << built.err;
  std::string program = readFile(scratch / "app/App.exe");
  const std::string key = utf16le(u"VS_VERSION_INFO");
  const size_t at = program.find(key);
  ASSERT_NE(at, std::string::npos);
  program[at - 6] = program[at - 5] = '\xff';  // the root's length: past the resource's end
  writeFile(scratch / "app/App.exe", program);
  writeFile(scratch / "app.toml",
            "target_spec = '{TEMP}\\x'\n[version]\ncompany = \"C\"\n[application]\nmain = "
            "\"App.exe\"\n");
  ToolResult packed = runPack({"launcher", "--config", scratch / "app.toml", "--app",
                               scratch / "app", "--out", scratch / "Out.exe"});
  EXPECT_NE(packed.status, 0);
  EXPECT_NE(packed.err.find("version.product is missing, and the version resource of "
                            "\"App.exe\" cannot be read: its version resource has a block that "
                            "runs past the one holding it: set version.product"),
            std::string::npos)
      << packed.err;
  EXPECT_FALSE(fs::exists(scratch / "Out.exe"));
}

// Where the program has no version resource the file holds placeholders, and the packer refuses
// it naming each; where the folder holds several programs, init asks which one.
TEST(Init, WritesPlaceholdersThePackerNamesOrAsksForTheMainProgram) {
  ScratchFolder scratch;
  writeFile(scratch / "app/App.exe", makeProgram());
  ToolResult init = runProgram({TARNIC_PACK, "--quiet", "init", "app"}, scratch.path());
  ASSERT_EQ(init.status, 0) << init.err;
  ToolResult packed = runProgram(
      {TARNIC_PACK, "launcher", "--config", "tarnic.toml", "--out", "App.exe"}, scratch.path());
  EXPECT_NE(packed.status, 0);
  EXPECT_NE(packed.err.find("tarnic.toml: 8 problems:\n"), std::string::npos) << packed.err;
  for (const char* key :
       {"company", "product", "version", "file_version", "product_version", "copyright"}) {
    EXPECT_NE(packed.err.find(std::string("tarnic.toml: version.") + key + " \"<"),
              std::string::npos)
        << key << "\n"
        << packed.err;
  }
  for (const char* placeholder :
       {"\"<company>\", which is a placeholder", "\"<product>\", which"}) {
    EXPECT_NE(packed.err.find(std::string("tarnic.toml: target_spec holds ") + placeholder),
              std::string::npos)
        << packed.err;
  }
  EXPECT_EQ(namesIn(scratch.path()), (std::vector<std::string>{"app", "tarnic.toml"}));

  writeFile(scratch / "app/Setup.exe", makeProgram());
  init = runProgram({TARNIC_PACK, "init", "app", "--out", "second.toml"}, scratch.path());
  EXPECT_EQ(init.err,
            "tarnic-pack: error: app holds 2 programs at its top. Which one does the launcher "
            "start: \"App.exe\" or \"Setup.exe\"? Name it with --main\n");
  EXPECT_FALSE(fs::exists(scratch / "second.toml"));
}

// A windowed program's users see nothing of a long first start unless the launcher shows it:
// init asks for the progress window for such a program, and for no other.
TEST(Init, AsksForTheProgressWindowForAWindowedMainProgramOnly) {
  for (const uint16_t subsystem : {2, 3}) {
    ScratchFolder scratch;
    ProgramHeaders headers;
    headers.subsystem = subsystem;
    writeFile(scratch / "app/App.exe", makeProgram(headers));
    ToolResult init = runProgram({TARNIC_PACK, "--quiet", "init", "app"}, scratch.path());
    ASSERT_EQ(init.status, 0) << init.err;
    EXPECT_EQ(
        readFile(scratch / "tarnic.toml").find("\nprogress_window = true ") != std::string::npos,
        subsystem == 2)
        << readFile(scratch / "tarnic.toml");
  }
}

// A program with a version resource, as a packed launcher carries one: its [version] from
// `version` (TOML lines), its ProductVersion and FileVersion strings changed to `shownVersion`
// where that is given, as a program whose strings are not four numbers has them, its fixed part
// as `version` says.
void writeProgramWithVersion(const ScratchFolder& scratch, const fs::path& program,
                             const std::string& version, const std::u16string& shownVersion = u"") {
  writeFile(scratch / "build/App.exe", makeProgram());
  writeFile(scratch / "build.toml", "target_spec = '{TEMP}\\x'\n[version]\n" + version +
                                        "[application]\nmain = \"App.exe\"\n");
  ToolResult built = runPack({"--quiet", "launcher", "--config", scratch / "build.toml", "--app",
                              scratch / "build", "--out", program});
  ASSERT_EQ(built.status, 0) << built.err;
  std::string bytes = readFile(program);
  const size_t resource = bytes.find(utf16le(u"VS_VERSION_INFO"));
  for (const char16_t* key : {u"FileVersion", u"ProductVersion"}) {
    const size_t at = shownVersion.empty() ? std::string::npos : bytes.find(utf16le(key), resource);
    if (at != std::string::npos) {
      const size_t value = alignTo4(at + utf16le(key).size() + 2);
      const size_t units = bytes.find(std::string(2, '\0'), value) - value;
      bytes.replace(value, units,
                    utf16le(shownVersion).append(units - 2 * shownVersion.size(), '\0'));
    }
  }
  writeFile(program, bytes);
}

// init run inside the folder it describes writes beside it, and the command it prints packs the
// folder without the configuration and without touching the main program; a configuration in
// the folder is never packed, and no launcher is written over the main program.
TEST(Init, RunInsideItsFolderWritesBesideItAndPrintsACommandThatLeavesTheProgramAlone) {
  ScratchFolder scratch;
  writeProgramWithVersion(scratch, scratch / "mines/winemine.exe",
                          "company = 'Acme'\nproduct = 'Mines'\nversion = '1.2.3.4'\n"
                          "file_version = '1.2.3.4'\nproduct_version = '1.2.3.4'\n"
                          "copyright = ''\n");
  writeFile(scratch / "mines/cards.txt", "cards");
  const std::string program = readFile(scratch / "mines/winemine.exe");
  ToolResult init = runProgram({TARNIC_PACK, "init", "."}, scratch / "mines");
  ASSERT_EQ(init.status, 0) << init.err;
  EXPECT_EQ(init.err,
            "tarnic-pack: ../tarnic.toml: written beside the application folder (a launcher "
            "carries every file in it); pack with tarnic-pack launcher --config ../tarnic.toml "
            "--out ../winemine.exe\n");
  EXPECT_EQ(namesIn(scratch / "mines"), (std::vector<std::string>{"cards.txt", "winemine.exe"}));
  std::vector<std::string> command{TARNIC_PACK, "--quiet"};
  std::istringstream printed(init.err.substr(init.err.find("tarnic-pack launcher") + 12));
  for (std::string word; printed >> word;) {
    command.push_back(word);
  }
  ToolResult packed = runProgram(command, scratch / "mines");
  ASSERT_EQ(packed.status, 0) << packed.err;
  EXPECT_EQ(readFile(scratch / "mines/winemine.exe"), program);
  ToolResult listed = runPack({"list", scratch / "winemine.exe"});
  EXPECT_EQ(listed.out.substr(20, listed.out.find('\n') - 19) +
                listed.out.substr(listed.out.find('\n') + 21),
            "winemine.exe\ncards.txt\n")
      << listed.out;

  EXPECT_EQ(
      runProgram({TARNIC_PACK, "init", ".", "--out", "pack/mines.toml"}, scratch / "mines").err,
      "tarnic-pack: error: --out pack/mines.toml lies in the application folder ., whose "
      "every file the launcher carries: name a file outside it, such as ../tarnic.toml\n");
  std::string config = readFile(scratch / "tarnic.toml");
  config.replace(config.find("folder = 'mines'"), 16, "folder = '.'");
  writeFile(scratch / "mines/tarnic.toml", config);
  EXPECT_EQ(
      runProgram({TARNIC_PACK, "launcher", "--config", "tarnic.toml", "--out", "winemine.exe"},
                 scratch / "mines")
          .err,
      "tarnic-pack: error: --out winemine.exe is the main program, application.main "
      "\"winemine.exe\", which this run would replace: write it outside the application "
      "folder, such as ../winemine.exe\n");
  EXPECT_EQ(readFile(scratch / "mines/winemine.exe"), program);
  packed = runProgram({TARNIC_PACK, "launcher", "--config", "tarnic.toml", "--out", "Mines.exe"},
                      scratch / "mines");
  ASSERT_EQ(packed.status, 0) << packed.err;
  EXPECT_NE(packed.err.find("; left out: tarnic.toml, the configuration this run reads"),
            std::string::npos)
      << packed.err;
  EXPECT_EQ(runPack({"list", scratch / "mines/Mines.exe"}).out.find("tarnic.toml"),
            std::string::npos);
}

// The launcher carries the folder's own files: a main program elsewhere, by its path or
// through a link, is refused by init and the packer alike, with the reason and no "did you
// mean" of the name given.
TEST(Init, RefusesAMainProgramOutsideTheFolderByItsPathOrThroughALink) {
  ScratchFolder scratch;
  writeFile(scratch / "app/App.exe", makeProgram());
  writeFile(scratch / "outside/evil.exe", makeProgram());
  EXPECT_EQ(
      runProgram({TARNIC_PACK, "init", "app", "--main", "../outside/evil.exe"}, scratch.path()).err,
      "tarnic-pack: error: --main \"../outside/evil.exe\" lies outside the application folder "
      "app: the launcher carries the folder's own files; name its program by its path in the "
      "folder\n");
  fs::create_directories(scratch / "linked");
  fs::create_symlink("../outside/evil.exe", scratch / "linked/evil.exe");
  const std::string leads = "leads outside the application folder linked, to " +
                            (scratch / "outside/evil.exe").string() +
                            ": the launcher carries the folder's own files; name its program ";
  EXPECT_EQ(
      runProgram({TARNIC_PACK, "init", "linked"}, scratch.path()).err,
      "tarnic-pack: error: linked/evil.exe: " + leads + "with --main <its path in the folder>\n");
  EXPECT_EQ(runProgram({TARNIC_PACK, "init", "linked", "--main", "evil.exe"}, scratch.path()).err,
            "tarnic-pack: error: --main \"evil.exe\" " + leads + "by its path in the folder\n");
  EXPECT_EQ(namesIn(scratch.path()), (std::vector<std::string>{"app", "linked", "outside"}));
  // A link that leads nowhere is no file, and its name no suggestion.
  fs::create_symlink("gone.exe", scratch / "linked/Main.exe");
  EXPECT_EQ(runProgram({TARNIC_PACK, "init", "linked", "--main", "Main.exe"}, scratch.path()).err,
            "tarnic-pack: error: --main \"Main.exe\" is not a file in linked\n");

  writeFile(scratch / "app.toml",
            plainConfig(R"({TEMP}\x)", "folder = 'app'\nmain = '../outside/evil.exe'\n"));
  EXPECT_EQ(runProgram({TARNIC_PACK, "launcher", "--config", "app.toml", "--out", "App.exe"},
                       scratch.path())
                .err,
            "tarnic-pack: error: app.toml: application.main \"../outside/evil.exe\" lies outside "
            "the application folder app: the launcher carries the folder's own files\n");
}

// What init cannot take from the program as it is, it says: a company that is a device's name
// stays a placeholder; a version that is not four numbers is left to the packer, which takes the
// numbers of the fixed part, so that the next build of the program still moves the target; a
// runtime is told to name the application; a 32-bit program is told to build for x64.
TEST(Init, SaysWhatItCannotTakeFromTheProgramAsItIs) {
  ScratchFolder scratch;
  const auto versions = [](const std::string& numbers) {
    return "company = 'Aux'\nproduct = 'Node.js'\nversion = '" + numbers + "'\nfile_version = '" +
           numbers + "'\nproduct_version = '" + numbers + "'\ncopyright = ''\n";
  };
  writeProgramWithVersion(scratch, scratch / "app/node.exe", versions("21.7.0.0"), u"21.07");
  ToolResult init = runProgram({TARNIC_PACK, "init", "app"}, scratch.path());
  ASSERT_EQ(init.status, 0) << init.err;
  EXPECT_EQ(init.err,
            "tarnic-pack: tarnic.toml: written with placeholders to fill in (<company>), then pack "
            "with tarnic-pack launcher --config tarnic.toml --out node.exe\n");
  std::string config = readFile(scratch / "tarnic.toml");
  for (const char* line :
       {"# \"node.exe\" is a runtime: its version resource names the runtime (Node.js),\n# not "
        "your application. Write your application's company and product below and\n# into "
        "[version], with its version, and its script into arguments\n# "
        "(['{TARGET_DIR}\\app.js']).\ntarget_spec = '{CACHE_DIR}\\<company>\\Node.js\\{VERSION}'\n",
        "\n# company = 'Aux'                 # CompanyName\n",
        "\n# the ProductVersion of \"node.exe\" \"21.07\" is not four numbers 0..65535 separated "
        "by "
        "dots: the packer takes the numbers of its fixed part.\n# version = '21.7.0.0'\n",
        "\n# the FileVersion of \"node.exe\" \"21.07\" is not four numbers 0..65535 separated by "
        "dots: the packer takes the numbers of its fixed part.\n# file_version = '21.7.0.0'\n"}) {
    EXPECT_NE(config.find(line), std::string::npos) << line << "\n" << config;
  }
  // The program's CompanyName goes through the same checks where a token puts it.
  const size_t spec = config.find("target_spec = ");
  writeFile(scratch / "tarnic.toml",
            std::string(config).replace(spec, config.find('\n', spec) - spec,
                                        R"(target_spec = '{CACHE_DIR}\{COMPANY}\x')"));
  EXPECT_EQ(runProgram({TARNIC_PACK, "launcher", "--config", "tarnic.toml", "--out", "Node.exe"},
                       scratch.path())
                .err,
            "tarnic-pack: error: tarnic.toml: target_spec uses {COMPANY}, which is \"Aux\" "
            "(CompanyName of \"node.exe\") and makes the folder name \"Aux\", which Windows "
            "cannot create as it is: \"Aux\" is the device AUX on Windows; give version.company "
            "another value, or write the folder's name into target_spec\n");
  config.replace(config.find("<company>"), 9, "Acme");
  writeFile(scratch / "tarnic.toml", config);
  for (const std::string numbers : {"21.7.0.0", "22.1.0.0"}) {
    writeProgramWithVersion(scratch, scratch / "app/node.exe", versions(numbers),
                            numbers == "21.7.0.0" ? u"21.07" : u"22.01");
    ToolResult packed = runProgram(
        {TARNIC_PACK, "--quiet", "launcher", "--config", "tarnic.toml", "--out", "Node.exe"},
        scratch.path());
    ASSERT_EQ(packed.status, 0) << packed.err;
    const auto strings = versionOf(scratch / "Node.exe");
    EXPECT_NE(std::find(strings.begin(), strings.end(),
                        std::make_pair(std::u16string(u"ProductVersion"),
                                       utf16le(std::u16string(numbers.begin(), numbers.end())))),
              strings.end())
        << numbers;
  }

  ProgramHeaders x86;
  x86.machine = 0x14c;
  x86.magic = 0x10B;
  writeFile(scratch / "app32/App.exe", makeProgram(x86));
  EXPECT_EQ(runProgram({TARNIC_PACK, "init", "app32", "--out", "x86.toml"}, scratch.path()).err,
            "tarnic-pack: error: app32/App.exe: is a 32-bit Windows program (PE32, machine 0x14c, "
            "x86); a launcher starts 64-bit x64 Windows programs only (PE32+, machine 0x8664); it "
            "is the only program at the top of app32: pack a 64-bit x64 build of the "
            "application, or name its program below the top with --main\n");
}

TEST(PackerBinary, PacksAloneInAnEmptyFolderStartingNoOtherProgram) {
  ScratchFolder scratch;
  fs::copy_file(TARNIC_PACK, scratch / "tarnic-pack");
  writeFile(scratch / "app/App.exe", makeProgram());
  writeFile(scratch / "launcher.toml",
            plainConfig(R"({CACHE_DIR}\Alone\App)", "folder = \"app\"\nmain = \"App.exe\"\n"));
  ToolResult traced = runProgram(
      {"strace", "-f", "-qq", "-e", "trace=execve", "-o", scratch / "trace", "./tarnic-pack",
       "--quiet", "launcher", "--config", "launcher.toml", "--out", "App-Launcher.exe"},
      scratch.path());
  ASSERT_EQ(traced.status, 0) << traced.err;
  std::istringstream trace(readFile(scratch / "trace"));
  std::vector<std::string> starts;
  for (std::string line; std::getline(trace, line);) {
    if (line.find("execve(") != std::string::npos) {
      starts.push_back(line);
    }
  }
  ASSERT_EQ(starts.size(), 1u) << readFile(scratch / "trace");
  EXPECT_NE(starts[0].find("execve(\"./tarnic-pack\""), std::string::npos) << starts[0];
  EXPECT_EQ(readTestImage(readFile(scratch / "App-Launcher.exe")).machine, 0x8664);
}

// Linked statically, the packer needs no loader and no library: it packs in a root that holds
// nothing but itself and its input.
TEST(PackerBinary, PacksInAnEmptyRootHoldingNothingElse) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "chroot needs root";
  }
  ScratchFolder scratch;
  fs::copy_file(TARNIC_PACK, scratch / "tarnic-pack");
  writeFile(scratch / "app/App.exe", makeProgram());
  writeFile(scratch / "launcher.toml",
            plainConfig(R"({CACHE_DIR}\Alone\App)", "folder = \"app\"\nmain = \"App.exe\"\n"));
  ToolResult result = runProgram({"chroot", scratch.path(), "/tarnic-pack", "--quiet", "launcher",
                                  "--config", "/launcher.toml", "--out", "/App-Launcher.exe"},
                                 scratch.path());
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(readTestImage(readFile(scratch / "App-Launcher.exe")).machine, 0x8664);
}

}  // namespace

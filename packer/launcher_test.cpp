// Launchers linked with the kit of the Windows tree beside the host tree; skipped until that
// tree is built.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <sstream>

#include "packer/kit.h"
#include "packer/pack_error.h"
#include "packer/test_util.h"

namespace fs = std::filesystem;

namespace {

const fs::path kKitFile = fs::path(TARNIC_WINDOWS_TREE) / "tarnic-kit.txt";
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

uint16_t u16At(const std::string& bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) |
                               static_cast<unsigned char>(bytes[at + 1]) << 8);
}

uint32_t u32At(const std::string& bytes, size_t at) {
  return u16At(bytes, at) | static_cast<uint32_t>(u16At(bytes, at + 2)) << 16;
}

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

class Launcher : public ::testing::Test {
 protected:
  void SetUp() override {
    try {
      readKit(kKitFile);
    } catch (const PackError& missing) {
      GTEST_SKIP() << "no Windows tree to link launchers with (" << missing.what()
                   << "); build it to run these tests";
    }
    writeFile(scratch_ / "app/bin/Deck-App.EXE", "MZ the program");
    writeFile(scratch_ / "app/data/\xc3\xa9t\xc3\xa9.txt", std::string(5000, 'e'));
    writeFile(scratch_ / "deck.ico", makeIcon(kIconSizes));
    writeFile(scratch_ / "launcher.toml", kConfig);
  }

  // Links a launcher with --kit, `args` naming its application.
  fs::path link(const std::string& name, const std::vector<std::string>& args) {
    std::vector<std::string> command{"launcher", "--config",      scratch_ / "launcher.toml",
                                     "--out",    scratch_ / name, "--kit",
                                     kKitFile,   "--level",       "3"};
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

TEST_F(Launcher, HoldsTheConfigurationConstantsAndTheRegionInReadOnlyData) {
  const fs::path exe = link("Deck.exe", {});
  const fs::path rdata = scratch_ / "rdata.bin";
  ToolResult dump = runProgram(
      {"x86_64-w64-mingw32-objcopy", "-O", "binary", "--only-section=.rdata", exe, rdata},
      fs::current_path());
  ASSERT_EQ(dump.status, 0) << dump.err;
  const std::string data = readFile(rdata);
  for (const std::u16string& value :
       {kTargetSpec, kCompany, std::u16string(u"Deck"), std::u16string(u"1.2.3.4"),
        std::u16string(u"5.6.7.8"), std::u16string(u"9.10.11.65535")}) {
    EXPECT_NE(data.find(utf16le(value) + std::string(2, '\0')), std::string::npos)
        << value.size() << " units";
  }
  ToolResult packed = runPack({"region", "--app", scratch_ / "app", "--main", "bin/Deck-App.EXE",
                               "--out", scratch_ / "region.bin", "--level", "3"});
  ASSERT_EQ(packed.status, 0) << packed.err;
  const std::string region = readFile(scratch_ / "region.bin");
  const size_t at = data.find(region);
  ASSERT_NE(at, std::string::npos) << "the region packed alone, byte for byte";
  const size_t lengthAt = (at + region.size() + 7) & ~size_t{7};
  EXPECT_EQ(u32At(data, lengthAt), region.size());
  EXPECT_EQ(u32At(data, lengthAt + 4), 0u);
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

TEST(LauncherBuild, ReportsAFailingToolWithItsCommandAndOutputAndLeavesNothing) {
  ScratchFolder scratch;
  writeFile(scratch / "app/App.exe", "MZ");
  writeFile(scratch / "icon.ico", makeIcon({16}));
  writeFile(scratch / "launcher.toml", R"(target_spec = '{TEMP}\x'
[version]
company = "C"
product = "P"
version = "1.0.0.0"
file_version = "1.0.0.0"
product_version = "1.0.0.0"
copyright = ""
[application]
folder = "app"
main = "App.exe"
icon = "icon.ico"
)");
  // The "compiler" is a shell, which fails to run "config.cpp" as a command.
  writeFile(scratch / "kit.txt",
            "cxx=/bin/sh\nwindres=false\nlibraries=" + (scratch / "icon.ico").string() +
                "\nsystem_libraries=\nlink_options=\nmanifest=" + (scratch / "icon.ico").string() +
                "\n");
  fs::create_directories(scratch / "work");
  fs::create_directories(scratch / "out");
  ToolResult result = runProgram(
      {"env", "TMPDIR=" + (scratch / "work").string(), TARNIC_PACK, "launcher", "--config",
       scratch / "launcher.toml", "--out", scratch / "out/App.exe", "--kit", scratch / "kit.txt"},
      fs::current_path());
  EXPECT_NE(result.status, 0);
  EXPECT_EQ(result.err.rfind("tarnic-pack: error: /bin/sh failed with status 127\n"
                             "  command: /bin/sh -c config.cpp -o config.o\n",
                             0),
            0u)
      << result.err;
  EXPECT_NE(result.err.find("config.cpp: not found"), std::string::npos) << result.err;
  EXPECT_EQ(namesIn(scratch / "out"), std::vector<std::string>{});
  EXPECT_EQ(namesIn(scratch / "work"), std::vector<std::string>{}) << "the work folder is removed";
}

}  // namespace

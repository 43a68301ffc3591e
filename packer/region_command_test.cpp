// The `region` command through the real packer: what a region holds, read back with none of the
// packer's code, and what it refuses.
#include "packer/region_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>
#include <zstd.h>

#include <csignal>
#include <cstring>
#include <iterator>
#include <map>

#include "packer/embedded_files.h"
#include "rules/payload_format.h"
#include "tests/packer/test_util.h"

namespace fs = std::filesystem;

namespace {

// The only 4 bytes whose crc32 is 0.
const std::string kCrcZeroData("\x9d\x0a\xd9\x6d", 4);

struct ParsedEntry {
  std::u16string name;
  uint64_t size;
  uint32_t checksum;
  std::string data;
};

uint64_t u64At(const std::string& bytes, size_t at) {
  uint64_t value = 0;
  for (size_t i = 8; i-- > 0;) {
    value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  }
  return value;
}

uint32_t crcOf(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// The window the region's frame declares, read as the frame format defines it: after the frame
// magic, the frame header descriptor (no content size, no checksum, no dictionary, not single
// segment: 0), then the window descriptor, an exponent above 10 and a mantissa in eighths.
uint64_t declaredWindow(const std::string& region) {
  EXPECT_EQ(region.substr(3, 5), std::string("\x28\xb5\x2f\xfd\x00", 5));
  const auto window = static_cast<unsigned char>(region.at(8));
  const uint64_t base = uint64_t{1} << (10 + (window >> 3));
  return base + base / 8 * (window & 7);
}

// Reads a region with none of the packer's code: ZSTD_decompress of the frame, then a walk over
// the entries. Checks the layout on the way.
std::vector<ParsedEntry> parseRegion(const std::string& region) {
  EXPECT_EQ(region.substr(0, 3), "VXJ");
  EXPECT_LE(declaredWindow(region), uint64_t{1} << 27) << "the launcher's decoder limit";
  const size_t frameBytes = region.size() - 12;
  EXPECT_EQ(region[3 + frameBytes], '\0');
  EXPECT_EQ(u64At(region, region.size() - 8), region.size() - 8);
  std::string stream(64 << 20, '\0');
  const size_t got = ZSTD_decompress(stream.data(), stream.size(), region.data() + 3, frameBytes);
  EXPECT_FALSE(ZSTD_isError(got)) << ZSTD_getErrorName(got);
  stream.resize(ZSTD_isError(got) ? 0 : got);
  std::vector<ParsedEntry> entries;
  size_t at = 0;
  while (at + 2 <= stream.size()) {
    ParsedEntry entry;
    char16_t unit;
    while (at + 2 <= stream.size() &&
           (unit = static_cast<char16_t>(static_cast<unsigned char>(stream[at]) |
                                         static_cast<unsigned char>(stream[at + 1]) << 8)) != 0) {
      entry.name += unit;
      at += 2;
    }
    at += 2;
    if (entry.name.empty()) {
      break;
    }
    entry.size = u64At(stream, at);
    uint32_t checksum;
    std::memcpy(&checksum, stream.data() + at + 8, 4);
    entry.checksum = checksum;
    entry.data = stream.substr(at + 12, entry.size);
    at += 12 + entry.size;
    entries.push_back(entry);
  }
  EXPECT_EQ(at, stream.size()) << "the terminator ends the stream";
  return entries;
}

class RegionCommand : public ::testing::Test {
 protected:
  // Packs the folder "app" of the scratch folder into "out/region.bin".
  ToolResult pack(const std::string& main, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args{"--quiet", "region", "--app", app().string(),
                                  "--main",  main,     "--out", region().string()};
    args.insert(args.end(), extra.begin(), extra.end());
    fs::create_directories(out());
    return runPack(args);
  }
  fs::path app() const { return scratch_ / "app"; }
  fs::path out() const { return scratch_ / "out"; }
  fs::path region() const { return out() / "region.bin"; }

  ScratchFolder scratch_;
};

TEST_F(RegionCommand, WritesMainFirstThenEveryFileByUtf16CodeUnits) {
  writeFile(app() / "bin/App.exe", "MZ main program");
  writeFile(app() / "b.txt", "bee");
  writeFile(app() / "A.txt", "ay");
  writeFile(app() / "sub/deeper/c.dat", std::string(100000, 'c'));
  writeFile(app() / "\xc3\xa9.txt", "e acute");          // U+00E9
  writeFile(app() / "\xef\xbd\x9a.txt", "fullwidth z");  // U+FF5A
  writeFile(app() / "\xf0\x9f\x98\x80.txt", "smile");    // U+1F600, a surrogate pair
  writeFile(app() / "empty", "");
  writeFile(app() / "crc-zero", kCrcZeroData);
  fs::create_directories(app() / "nothing/inside");
  ASSERT_EQ(crcOf(kCrcZeroData), 0u);

  ToolResult result = pack("bin/App.exe");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  const std::vector<ParsedEntry> entries = parseRegion(readFile(region()));

  // The surrogate pair (D83D) sorts before U+FF5A: code units, not code points.
  const std::pair<std::u16string, std::string> expected[] = {
      {u"bin\\App.exe", "bin/App.exe"},
      {u"A.txt", "A.txt"},
      {u"b.txt", "b.txt"},
      {u"crc-zero", "crc-zero"},
      {u"empty", "empty"},
      {u"sub\\deeper\\c.dat", "sub/deeper/c.dat"},
      {u"\u00e9.txt", "\xc3\xa9.txt"},
      {u"\U0001F600.txt", "\xf0\x9f\x98\x80.txt"},
      {u"\uFF5A.txt", "\xef\xbd\x9a.txt"}};
  ASSERT_EQ(entries.size(), std::size(expected));
  for (size_t i = 0; i < entries.size(); ++i) {
    const auto& [name, path] = expected[i];
    EXPECT_EQ(entries[i].name, name) << path;
    const std::string data = readFile(app() / path);
    EXPECT_EQ(entries[i].data, data) << path;
    EXPECT_EQ(entries[i].size, data.size()) << path;
    if (!data.empty() && crcOf(data) != 0) {
      EXPECT_EQ(entries[i].checksum, crcOf(data)) << path;
    }
  }
  EXPECT_EQ(entries[3].checksum, 1u) << "a crc of 0 is stored as 1";
  EXPECT_EQ(entries[4].checksum, 1u) << "the crc of no bytes is 0, stored as 1";
}

// More than two compression jobs (at a fast level), so that threads share the work.
TEST_F(RegionCommand, GivesTheSameBytesOnEveryRunAndThreadCount) {
  std::string mixed;
  uint32_t state = 12345;
  for (int i = 0; i < kCompressionJobBytes * 5 / 2; ++i) {
    state = state * 1103515245 + 12345;
    mixed += static_cast<char>(i % 3 == 0 ? state >> 24 : 'a' + i % 7);
  }
  writeFile(app() / "main.exe", mixed.substr(0, 3 << 20));
  writeFile(app() / "data/more.bin", mixed);
  std::vector<std::string> regions;
  for (const char* threads : {"1", "2", "3", "2"}) {
    ToolResult result = pack("main.exe", {"--level", "3", "--threads", threads});
    ASSERT_EQ(result.status, 0) << result.err;
    regions.push_back(readFile(region()));
  }
  EXPECT_EQ(regions[0], regions[1]) << "1 and 2 threads";
  EXPECT_EQ(regions[0], regions[2]) << "1 and 3 threads";
  EXPECT_EQ(regions[1], regions[3]) << "a second run";
  EXPECT_EQ(parseRegion(regions[0]).size(), 2u);
}

// x86-64 programs become filtered entries with --filter x86 alone: the default and --filter none
// give one region, every earlier launcher's layout. List shows the files' own sizes and
// checksums, and marks the filtered ones.
TEST_F(RegionCommand, FiltersX86ProgramsOnlyWhenAskedAndListsThemMarked) {
  writeFile(app() / "main.exe", std::string(consoleLauncherImage()));
  writeFile(app() / "lib/windowed.dll", std::string(windowedLauncherImage()));
  writeFile(app() / "notes.txt", "MZ, but no program");
  std::map<std::string, std::string> regions;
  for (const char* filter : {"default", "none", "x86"}) {
    std::vector<std::string> options;
    if (std::string(filter) != "default") {
      options = {"--filter", filter};
    }
    ToolResult result = pack("main.exe", options);
    ASSERT_EQ(result.status, 0) << result.err;
    regions[filter] = readFile(region());
    fs::rename(region(), out() / (std::string(filter) + ".region"));
  }
  EXPECT_EQ(regions["default"], regions["none"]);
  EXPECT_EQ(parseRegion(regions["none"]).size(), 3u);
  EXPECT_NE(regions["x86"], regions["none"]);
  const auto line = [&](const std::string& path, const char* name, bool filtered) {
    const std::string data = readFile(app() / path);
    char text[200];
    std::snprintf(text, sizeof text, "%10zu %08x %s%s\n", data.size(), crcOf(data), name,
                  filtered ? "  <x86 filter>" : "");
    return std::string(text);
  };
  ToolResult listed = runPack({"list", out() / "x86.region"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(listed.out, line("main.exe", "main.exe", true) +
                            line("lib/windowed.dll", "lib\\windowed.dll", true) +
                            line("notes.txt", "notes.txt", false));
  ToolResult plain = runPack({"list", out() / "none.region"});
  EXPECT_EQ(plain.out.find('<'), std::string::npos) << plain.out;
}

// The launcher's decoder holds the window the frame declares: the smallest power of two (2^10 at
// least) that holds a stream shorter than a compression job, 2^kLongStreamWindowLog from a job
// on.
TEST_F(RegionCommand, DeclaresTheSmallestWindowItsStreamNeeds) {
  // "main.exe", its terminating unit, size and checksum, and the stream's terminator.
  constexpr uint64_t kFramingBytes = 9 * 2 + 8 + 4 + 2;
  const std::pair<uint64_t, uint64_t> streamAndWindow[] = {
      {kFramingBytes, 1024},
      {65536, 65536},
      {65537, 131072},
      {kCompressionJobBytes - 1, kCompressionJobBytes},
      {kCompressionJobBytes, uint64_t{1} << kLongStreamWindowLog}};
  for (const auto& [streamBytes, window] : streamAndWindow) {
    std::string data(streamBytes - kFramingBytes, 'x');
    for (size_t i = 0; i < data.size(); i += 4099) {
      data[i] = static_cast<char>(i >> 12);
    }
    writeFile(app() / "main.exe", data);
    ToolResult result = pack("main.exe", {"--level", "1"});
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string bytes = readFile(region());
    EXPECT_EQ(declaredWindow(bytes), window) << streamBytes << "-byte stream";
    const std::vector<ParsedEntry> entries = parseRegion(bytes);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0].data == data) << streamBytes << "-byte stream";
  }
}

TEST_F(RegionCommand, FollowsLinksThatStayInsideTheFolder) {
  writeFile(app() / "main.exe", "main");
  writeFile(app() / "lib/real.dll", "library");
  fs::create_symlink("lib/real.dll", app() / "alias.dll");
  fs::create_directory_symlink("lib", app() / "lib-link");
  ToolResult result = pack("main.exe");
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<ParsedEntry> entries = parseRegion(readFile(region()));
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[1].name, u"alias.dll");
  EXPECT_EQ(entries[1].data, "library");
  EXPECT_EQ(entries[2].name, u"lib-link\\real.dll");
  EXPECT_EQ(entries[3].name, u"lib\\real.dll");
}

TEST_F(RegionCommand, IgnoresEmptyFoldersWhateverTheirNames) {
  writeFile(app() / "main.exe", "main");
  fs::create_directories(app() / "empty/CON/nested.");
  ToolResult result = pack("main.exe");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(parseRegion(readFile(region())).size(), 1u);
}

// One folder the launcher could not reproduce, and the words the message must hold.
struct BadFolder {
  const char* label;
  void (*make)(const fs::path& app);
  const char* main;
  std::vector<std::string> words;
};

// The main file and one more file of the given name and content.
void makeMainAnd(const fs::path& app, const std::string& name, const std::string& data = "") {
  writeFile(app / "main.exe", "main");
  writeFile(app / name, data);
}

const BadFolder kBadFolders[] = {
    {"missing folder",
     [](const fs::path& app) { fs::remove(app); },
     "main.exe",
     {"app", "does not exist"}},
    {"missing main",
     [](const fs::path& app) { makeMainAnd(app, "x"); },
     "other.exe",
     {"--main \"other.exe\" is not a file in"}},
    {"main is a folder",
     [](const fs::path& app) { makeMainAnd(app, "sub/x"); },
     "sub",
     {"sub", "folder"}},
    {"name too long",
     [](const fs::path& app) {
       const std::string part(250, 'n');
       makeMainAnd(app, part + "/" + part + "/" + part + "/" + part + "/" + std::string(30, 'f'));
     },
     "main.exe",
     {"ffff", "1034", "1023"}},
    {"colon", [](const fs::path& app) { makeMainAnd(app, "a:b"); }, "main.exe", {"a:b", "':'"}},
    {"backslash",
     [](const fs::path& app) { makeMainAnd(app, "a\\b"); },
     "main.exe",
     {"a\\b", "'\\'"}},
    {"question mark",
     [](const fs::path& app) { makeMainAnd(app, "why?"); },
     "main.exe",
     {"why?", "'?'"}},
    {"control character",
     [](const fs::path& app) { makeMainAnd(app, "bell\x07"); },
     "main.exe",
     {"bell", "U+0007"}},
    {"trailing dot",
     [](const fs::path& app) { makeMainAnd(app, "dir./f"); },
     "main.exe",
     {"dir.", "ends in a dot or a blank"}},
    {"trailing blank",
     [](const fs::path& app) { makeMainAnd(app, "f "); },
     "main.exe",
     {"\"f \"", "ends in a dot or a blank"}},
    {"device name",
     [](const fs::path& app) { makeMainAnd(app, "con"); },
     "main.exe",
     {"con", "device CON"}},
    {"device name with extensions",
     [](const fs::path& app) { makeMainAnd(app, "s/Lpt9.tar.gz"); },
     "main.exe",
     {"Lpt9.tar.gz", "device LPT9"}},
    {"names differing in case",
     [](const fs::path& app) {
       makeMainAnd(app, "Data/a");
       writeFile(app / "data/b", "");
     },
     "main.exe",
     {"\"Data\"", "\"data\"", "letter case"}},
    {"non-ASCII names differing in case",
     [](const fs::path& app) {
       makeMainAnd(app, "\xc3\x89t\xc3\xa9");  // Été
       writeFile(app / "\xc3\xa9t\xc3\xa9", "");
     },
     "main.exe",
     {"letter case"}},
    {"not UTF-8",
     [](const fs::path& app) { makeMainAnd(app, "bad\xff"); },
     "main.exe",
     {"bad\\xFF", "not valid UTF-8"}},
    {"file too large",
     [](const fs::path& app) {
       makeMainAnd(app, "huge");
       fs::resize_file(app / "huge", kMaxFileBytes + 1);  // sparse: costs no space
     },
     "main.exe",
     {"huge", "4294967295 bytes"}},
    {"link outside",
     [](const fs::path& app) {
       makeMainAnd(app, "x");
       fs::create_symlink("/etc/hostname", app / "outside");
     },
     "main.exe",
     {"outside", "leads outside the folder"}},
    {"link to a folder outside",
     [](const fs::path& app) {
       makeMainAnd(app, "x");
       fs::create_directory_symlink("..", app / "up");
     },
     "main.exe",
     {"up", "leads outside the folder"}},
    {"dangling link",
     [](const fs::path& app) {
       makeMainAnd(app, "x");
       fs::create_symlink("gone", app / "dangling");
     },
     "main.exe",
     {"dangling", "cannot be followed"}},
    {"link back to the folder",
     [](const fs::path& app) {
       makeMainAnd(app, "sub/x");
       fs::create_directory_symlink("..", app / "sub/back");
     },
     "main.exe",
     {"sub/back", "loop"}},
    {"links to each other",
     [](const fs::path& app) {
       makeMainAnd(app, "x");
       fs::create_symlink("b", app / "a");
       fs::create_symlink("a", app / "b");
     },
     "main.exe",
     {"/a", "loop"}},
    {"fifo",
     [](const fs::path& app) {
       makeMainAnd(app, "x");
       mkfifo((app / "pipe").c_str(), 0644);
     },
     "main.exe",
     {"pipe", "a fifo"}},
    {"socket",
     [](const fs::path& app) {
       makeMainAnd(app, "x");
       mknod((app / "sock").c_str(), S_IFSOCK | 0644, 0);
     },
     "main.exe",
     {"sock", "a socket"}},
};

TEST_F(RegionCommand, RefusesWhatTheLauncherCouldNotReproduceWithOneMessageAndNoOutput) {
  for (const BadFolder& bad : kBadFolders) {
    SCOPED_TRACE(bad.label);
    fs::remove_all(app());
    fs::create_directories(app());
    bad.make(app());
    ToolResult result = pack(bad.main);
    EXPECT_NE(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("tarnic-pack: error: ", 0), 0u) << result.err;
    EXPECT_EQ(result.err.find("tarnic-pack: error: ", 1), std::string::npos) << result.err;
    for (const std::string& word : bad.words) {
      EXPECT_NE(result.err.find(word), std::string::npos) << word << " in " << result.err;
    }
    EXPECT_EQ(namesIn(out()), std::vector<std::string>{}) << "no output, no temporary file";
  }
}

TEST_F(RegionCommand, RefusesAnUnreadableFile) {
  writeFile(app() / "main.exe", "main");
  writeFile(app() / "secret", "x");
  fs::permissions(app() / "secret", fs::perms::none);
  fs::create_directories(out());
  std::vector<std::string> command{"region",   "--app", app(),   "--main",
                                   "main.exe", "--out", region()};
  // Root reads everything: run the packer as nobody, who needs to see the folders.
  if (geteuid() == 0) {
    command.insert(command.begin(),
                   {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", TARNIC_PACK});
    fs::permissions(scratch_.path(), fs::perms::all);
    fs::permissions(out(), fs::perms::all);
  }
  ToolResult result = geteuid() == 0 ? runProgram(command, fs::current_path()) : runPack(command);
  EXPECT_NE(result.status, 0);
  EXPECT_NE(result.err.find("secret: cannot be read: Permission denied"), std::string::npos)
      << result.err;
  EXPECT_EQ(namesIn(out()), std::vector<std::string>{});
}

TEST_F(RegionCommand, LeavesNothingWhenInterrupted) {
  std::string noise(24 << 20, '\0');
  uint64_t state = 88172645463325252ull;
  for (char& byte : noise) {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    byte = static_cast<char>(state);
  }
  writeFile(app() / "main.exe", makeProgram() + noise);
  writeFile(scratch_ / "launcher.toml",
            "target_spec = '{TEMP}'\n[version]\ncompany = 'C'\n"
            "product = 'P'\nversion = '1.0.0.0'\n"
            "file_version = '1.0.0.0'\nproduct_version = '1.0.0.0'\n"
            "copyright = ''\n[application]\nmain = 'main.exe'\n"
            "icon = 'icon.ico'\n");
  writeFile(scratch_ / "icon.ico", makeIcon({16}));
  fs::create_directories(out());
  fs::create_directories(scratch_ / "work");
  // Level 19 takes many seconds for this much noise; the signal comes after one. Without the
  // handler the same signal would end the packer and leave its temporary files.
  const std::vector<std::string> interrupted{"env",     "TMPDIR=" + (scratch_ / "work").string(),
                                             "timeout", "--preserve-status",
                                             "-s",      "INT",
                                             "1",       TARNIC_PACK};
  std::vector<std::string> pack = interrupted;
  pack.insert(pack.end(), {"region", "--app", app(), "--main", "main.exe", "--out", region()});
  std::vector<std::string> launcher = interrupted;
  launcher.insert(launcher.end(), {"launcher", "--config", scratch_ / "launcher.toml", "--app",
                                   app(), "--out", out() / "main.exe"});
  for (const auto& command : {pack, launcher}) {
    ToolResult result = runProgram(command, fs::current_path());
    EXPECT_EQ(result.status, 128 + SIGINT) << result.err;
    EXPECT_EQ(namesIn(out()), std::vector<std::string>{}) << command[8];
    EXPECT_EQ(namesIn(scratch_ / "work"), std::vector<std::string>{}) << command[8];
  }
}

}  // namespace

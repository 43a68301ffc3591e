#include "packer/region/region_reader.h"

#include <gtest/gtest.h>
#include <zlib.h>
#include <zstd.h>

#include <cstdio>
#include <functional>

#include "rules/branch_filter.h"
#include "rules/payload_format.h"
#include "tests/packer/test_util.h"

namespace fs = std::filesystem;

namespace {

template <typename Unsigned>
void appendLittleEndian(std::string& out, Unsigned value) {
  for (size_t i = 0; i < sizeof value; ++i) {
    out += static_cast<char>((value >> (8 * i)) & 0xFF);
  }
}

uint32_t crcOf(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string entry(const std::u16string& name, const std::string& data) {
  std::string bytes;
  for (char16_t unit : name) {
    appendLittleEndian<uint16_t>(bytes, unit);
  }
  appendLittleEndian<uint16_t>(bytes, 0);
  appendLittleEndian<uint64_t>(bytes, data.size());
  const uint32_t crc = crcOf(data);
  appendLittleEndian<uint32_t>(bytes, crc == 0 ? 1 : crc);
  return bytes + data;
}

const std::string kTerminator(2, '\0');

// A region around a streamed frame of `stream`, with zstd's default window or the given one.
std::string regionOf(const std::string& stream, int windowLog = 0) {
  ZSTD_CCtx* context = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, windowLog);
  std::string frame(ZSTD_compressBound(stream.size()) + 64, '\0');
  ZSTD_outBuffer out{frame.data(), frame.size(), 0};
  ZSTD_inBuffer in{stream.data(), stream.size(), 0};
  ZSTD_compressStream2(context, &out, &in, ZSTD_e_continue);
  ZSTD_inBuffer end{nullptr, 0, 0};
  while (ZSTD_compressStream2(context, &out, &end, ZSTD_e_end) != 0) {
  }
  ZSTD_freeCCtx(context);
  frame.resize(out.pos);
  std::string region = "VXJ" + frame + '\0';
  appendLittleEndian<uint64_t>(region, 4 + frame.size());
  return region;
}

class ListCommand : public ::testing::Test {
 protected:
  // Packs a small application with the region command.
  std::string packedRegion() {
    writeFile(scratch_ / "app/main.exe", "MZ");
    writeFile(scratch_ / "app/sub/\xc3\xa9.txt", "x");
    writeFile(scratch_ / "app/empty", "");
    const fs::path region = scratch_ / "packed.bin";
    ToolResult result = runPack({"--quiet", "region", "--app", scratch_ / "app", "--main",
                                 "main.exe", "--out", region, "--level", "3"});
    EXPECT_EQ(result.status, 0) << result.err;
    return readFile(region);
  }

  ToolResult list(const std::string& bytes) {
    writeFile(scratch_ / "listed", bytes);
    return runPack({"list", scratch_ / "listed"});
  }

  ScratchFolder scratch_;
};

TEST_F(ListCommand, ListsSizeChecksumAndNameOfEveryEntry) {
  ToolResult result = list(packedRegion());
  char expected[200];
  std::snprintf(expected, sizeof expected,
                "         2 %08x main.exe\n"
                "         0 00000001 empty\n"
                "         1 %08x sub\\\xc3\xa9.txt\n",
                crcOf("MZ"), crcOf("x"));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, expected);
  EXPECT_EQ(result.err, "");
}

// A filtered entry made by hand: its checksum is the file's, which the reader gets back only by
// undoing the filter; ranges that run past the file are refused.
TEST_F(ListCommand, UndoesTheFilterToCheckAFilteredEntryAndRefusesRangesPastItsFile) {
  std::string code = "\x90\xE8\x10\x00\x00\x00\x0F\x85\xF0\xFF\xFF\xFF\xFF\x15\x08\x00\x00\x00";
  code += code;
  const auto filteredEntry = [&](uint32_t rangeBytes) {
    std::string data = code;
    filterBranches(reinterpret_cast<unsigned char*>(data.data()), data.size(), 0x2000);
    std::string bytes;
    for (char16_t unit : std::u16string(u"app.exe")) {
      appendLittleEndian<uint16_t>(bytes, unit);
    }
    appendLittleEndian<uint16_t>(bytes, 0);
    appendLittleEndian<uint64_t>(bytes, code.size() | kFilteredEntryFlag);
    appendLittleEndian<uint32_t>(bytes, crcOf(code));
    appendLittleEndian<uint32_t>(bytes, 1);
    for (uint32_t field : {0u, rangeBytes, 0x2000u}) {
      appendLittleEndian<uint32_t>(bytes, field);
    }
    return bytes + data;
  };
  const auto codeBytes = static_cast<uint32_t>(code.size());
  ToolResult result = list(regionOf(filteredEntry(codeBytes) + kTerminator));
  char expected[100];
  std::snprintf(expected, sizeof expected, "%10zu %08x app.exe  <x86 filter>\n", code.size(),
                crcOf(code));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, expected);
  ToolResult past = list(regionOf(filteredEntry(codeBytes + 1) + kTerminator));
  EXPECT_NE(past.status, 0);
  EXPECT_NE(past.err.find("entry 1 (app.exe): filter ranges out of order or past the file's end"),
            std::string::npos)
      << past.err;
}

TEST_F(ListCommand, FindsTheRegionInsideAnExecutable) {
  const std::string region = packedRegion();
  // A copy of the magic and frame header with no valid frame comes first, as it may in code.
  const std::string decoy = "VXJ" + region.substr(3, 6) + std::string(40, '\x7f');
  const std::string executable =
      "MZ" + std::string(1000, '\x90') + decoy + region + std::string(500, '\0');
  ToolResult inExecutable = list(executable);
  ToolResult alone = list(region);
  EXPECT_EQ(inExecutable.status, 0) << inExecutable.err;
  EXPECT_EQ(inExecutable.out, alone.out);

  ToolResult none = list("MZ" + std::string(1000, '\x90'));
  EXPECT_NE(none.status, 0);
  EXPECT_NE(none.err.find("no region in the executable"), std::string::npos) << none.err;
}

struct Damage {
  const char* label;
  std::function<std::string(std::string)> apply;
  const char* words;  // empty when the decoder's own words vary
};

TEST_F(ListCommand, RefusesDamagedRegionsNamingTheProblem) {
  const std::string good = packedRegion();
  const std::string main = entry(u"main.exe", "MZ");
  const Damage damages[] = {
      {"wrong magic", [](std::string r) { return r.replace(0, 1, "W"); }, "wrong magic"},
      {"flipped frame byte", [](std::string r) { return r.replace(20, 1, 1, r[20] ^ 0x55); }, ""},
      {"cut in the frame", [](std::string r) { return r.substr(0, 20); }, "damaged or truncated"},
      {"cut in the trailer", [](std::string r) { return r.substr(0, r.size() - 3); },
       "trailer is missing"},
      {"wrong trailer",
       [](std::string r) { return r.replace(r.size() - 8, 1, 1, r[r.size() - 8] + 1); },
       "the trailer holds"},
      {"wrong pad byte", [](std::string r) { return r.replace(r.size() - 9, 1, "\x01"); },
       "the byte after the frame is 1"},
      {"bytes after the trailer", [](std::string r) { return r + "xyz"; },
       "3 bytes follow the region's trailer"},
      {"checksum mismatch",
       [&](std::string) {
         std::string e = entry(u"a", "data");
         e[2 + 2 + 8] ^= 1;
         return regionOf(main + e + kTerminator);
       },
       "entry 2 (a): stored checksum"},
      {"stored checksum 0",
       [&](std::string) {
         return regionOf(main + std::string("b\0\0\0", 4) + std::string(8, '\0') +
                         std::string(4, '\0') + kTerminator);
       },
       "entry 2 (b): stored checksum is 0"},
      {"parent folder name",
       [&](std::string) { return regionOf(main + entry(u"..\\evil.exe", "x") + kTerminator); },
       "ends in a dot"},
      {"slash in a name",
       [&](std::string) { return regionOf(main + entry(u"a/b", "x") + kTerminator); }, "'/'"},
      {"name too long",
       [&](std::string) { return regionOf(entry(std::u16string(1024, u'n'), "x") + kTerminator); },
       "longer than 1023 units"},
      {"names equal but for case",
       [&](std::string) { return regionOf(main + entry(u"MAIN.EXE", "x") + kTerminator); },
       "would be one file"},
      {"no terminator", [&](std::string) { return regionOf(main); }, "ends in a name"},
      {"data cut short", [&](std::string) { return regionOf(main.substr(0, main.size() - 1)); },
       "ends in the data"},
      {"data after the terminator", [&](std::string) { return regionOf(main + kTerminator + "x"); },
       "after the terminator"},
      {"window over 2^27",
       [&](std::string) { return regionOf(main + kTerminator, kMaxFrameWindowLog + 1); },
       "does not decode"},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.label);
    ToolResult result = list(damage.apply(good));
    EXPECT_NE(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("tarnic-pack: error: " + (scratch_ / "listed").string() + ": ", 0),
              0u)
        << result.err;
    EXPECT_NE(result.err.find(damage.words), std::string::npos) << result.err;
  }
}

}  // namespace

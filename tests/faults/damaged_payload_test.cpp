// Copies of a launcher whose payload region is damaged in many places, each run once: it either
// runs correctly or ends with one of the payload messages and status 2; it never crashes,
// hangs, ends abnormally or writes outside its target directory.
//
// Most runs start on an empty target directory: then every file is written, and damage to a
// file's data must show as the decode message (the written data no longer matches its stored
// checksum). Every third run starts on a target directory that already holds the application:
// then unchanged files are skipped unread, so damage that the decoder cannot see in their data
// goes unnoticed, and the run must still be correct and leave every file as it was.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "rules/payload_format.h"
#include "tests/faults/fault_support.h"

namespace {

constexpr DWORD kRunTimeoutMs = 60000;
constexpr size_t kBlockHeaderBytes = 3;
constexpr int kFullTargetEvery = 3;
constexpr char kDecodeMessage[] = "Error, couldn't decode attached data.\r\n";
constexpr char kHeaderMessage[] = "Error, couldn't find attached data header.\r\n";

enum BlockType { kRawBlock = 0, kRleBlock = 1, kCompressedBlock = 2 };

struct Block {
  size_t header = 0;   // offset of its 3-byte header in the launcher
  size_t content = 0;  // offset of what follows the header
  size_t contentBytes = 0;
  int type = 0;
};

// Where the payload region lies in the launcher, found by its magic and the frame's header.
struct Region {
  size_t magic = 0;
  size_t frame = 0;
  size_t frameEnd = 0;  // the first trailing byte
  std::vector<Block> blocks;
};

const std::string& launcherBytes() {
  static const std::string bytes = readWholeFile(launcherPath(L"bulky")).value();
  return bytes;
}

uint64_t littleEndian(const std::string& bytes, size_t at, size_t count) {
  uint64_t value = 0;
  for (size_t i = count; i > 0; --i)
    value = value << 8 | static_cast<unsigned char>(bytes[at + i - 1]);
  return value;
}

// Walks the frame's blocks up to the last one; the trailer behind it must count the region.
Region locateRegion() {
  const std::string& bytes = launcherBytes();
  std::string signature(reinterpret_cast<const char*>(kPayloadMagic), kPayloadMagicBytes);
  signature.append(reinterpret_cast<const char*>(kFrameMagic), kFrameMagicBytes);
  signature += static_cast<char>(kFrameDescriptor);
  Region region;
  region.magic = bytes.find(signature);
  if (region.magic == std::string::npos ||
      bytes.find(signature, region.magic + 1) != std::string::npos)
    throw std::runtime_error("the launcher holds no single payload region");
  region.frame = region.magic + kPayloadMagicBytes;
  bool last = false;
  for (size_t at = region.frame + kFrameHeaderBytes; !last;) {
    uint64_t header = littleEndian(bytes, at, kBlockHeaderBytes);
    Block block;
    block.header = at;
    block.content = at + kBlockHeaderBytes;
    block.type = header >> 1 & 3;
    block.contentBytes = block.type == kRleBlock ? 1 : header >> 3;
    last = header & 1;
    region.blocks.push_back(block);
    at = block.content + block.contentBytes;
    region.frameEnd = at;
  }
  uint64_t counted = littleEndian(bytes, region.frameEnd + kTrailerPadBytes, kTrailerLengthBytes);
  if (bytes[region.frameEnd] != kTrailerPadByte ||
      counted != trailerLengthValue(region.frameEnd - region.frame))
    throw std::runtime_error("the frame does not end where the trailer says");
  return region;
}

const Region& launcherRegion() {
  static const Region region = locateRegion();
  return region;
}

// Bytes written over the launcher at one offset.
struct Mutation {
  size_t offset = 0;
  std::string bytes;
  std::string what;
};

std::string describe(const Mutation& mutation, int index, unsigned seed) {
  std::ostringstream out;
  out << "mutation " << index << " of seed " << seed << " (" << mutation.what << ", "
      << mutation.bytes.size() << " bytes at region offset "
      << mutation.offset - launcherRegion().magic << ")";
  return out.str();
}

// Changes `count` bytes from `offset` on, every one of them.
Mutation flipBytes(std::mt19937& random, size_t offset, size_t count, const std::string& what) {
  Mutation mutation{offset, launcherBytes().substr(offset, count), what};
  for (char& byte : mutation.bytes)
    byte = static_cast<char>(byte ^ (1 + random() % 255));
  return mutation;
}

size_t pick(std::mt19937& random, size_t count) {
  return random() % count;
}

const Block& pickBlock(std::mt19937& random, bool compressedOnly) {
  std::vector<const Block*> candidates;
  for (const Block& block : launcherRegion().blocks)
    if (block.contentBytes > 0 && (!compressedOnly || block.type == kCompressedBlock))
      candidates.push_back(&block);
  if (candidates.empty())
    throw std::runtime_error("the frame holds no such block");
  return *candidates[pick(random, candidates.size())];
}

// Mostly single bytes, sometimes a burst of a few.
size_t burstLength(std::mt19937& random) {
  return random() % 4 == 0 ? 2 + pick(random, 7) : 1;
}

// Zeroes the frame from a point on (sometimes a block boundary), so that the file keeps its
// size but the frame loses its tail.
Mutation truncateFrame(std::mt19937& random) {
  const Region& region = launcherRegion();
  size_t cut = random() % 3 == 0
                   ? pickBlock(random, false).header
                   : region.frame + kFrameHeaderBytes +
                         pick(random, region.frameEnd - region.frame - kFrameHeaderBytes);
  return {cut, std::string(region.frameEnd - cut, '\0'), "frame truncated"};
}

bool changesSomething(const Mutation& mutation) {
  return launcherBytes().compare(mutation.offset, mutation.bytes.size(), mutation.bytes) != 0;
}

enum class Outcome { kRanCorrectly, kDecodeMessage, kHeaderMessage, kOther };

struct Counts {
  int ran = 0, decode = 0, header = 0, other = 0;
  int& operator[](Outcome outcome) {
    switch (outcome) {
      case Outcome::kRanCorrectly:
        return ran;
      case Outcome::kDecodeMessage:
        return decode;
      case Outcome::kHeaderMessage:
        return header;
      default:
        return other;
    }
  }
};

// Names of what lies in `folder`, one level deep.
std::vector<std::wstring> entriesOf(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return names;
  do {
    std::wstring name = found.cFileName;
    if (name != L"." && name != L"..")
      names.push_back(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

// Whether `folder` holds nothing but, perhaps, `allowed`.
bool holdsAtMost(const std::wstring& folder, const std::vector<std::wstring>& allowed) {
  for (const std::wstring& name : entriesOf(folder))
    if (std::find(allowed.begin(), allowed.end(), name) == allowed.end())
      return false;
  return true;
}

// Everything the run may have made lies in its target directory.
testing::AssertionResult nothingOutsideTheTarget(const std::wstring& folder) {
  if (!holdsAtMost(folder, {L"launcher.exe", L"tmp"}) ||
      !holdsAtMost(folder + L"\\tmp", {L"faults"}) ||
      !holdsAtMost(folder + L"\\tmp\\faults", {L"bulky"}))
    return testing::AssertionFailure() << "something was written beside the target directory";
  return testing::AssertionSuccess();
}

Outcome classify(const Launch& run, const std::wstring& target, std::string* why) {
  const ProcessResult& process = run.process;
  bool quietOtherwise = process.err.empty();
  if (process.exitCode == 2 && process.out == kDecodeMessage && quietOtherwise)
    return Outcome::kDecodeMessage;
  if (process.exitCode == 2 && process.out == kHeaderMessage && quietOtherwise)
    return Outcome::kHeaderMessage;
  if (process.exitCode == 0 && !process.timedOut) {
    testing::AssertionResult whole = holdsTheApplication(target);
    if (whole && run.report.module == target + L"\\report.exe")
      return Outcome::kRanCorrectly;
    *why = "ran, but " +
           std::string(whole ? "the child is " + narrow(run.report.module) : whole.message());
    return Outcome::kOther;
  }
  std::ostringstream out;
  out << (process.timedOut ? "hung; " : "") << "exit code 0x" << std::hex << process.exitCode
      << ", standard output \"" << process.out << "\", standard error \"" << process.err << "\"";
  *why = out.str();
  return Outcome::kOther;
}

// Runs a copy of the launcher with `mutation` applied, on an empty or a full target directory.
Outcome runDamaged(const Mutation& mutation, bool fullTarget, std::string* why) {
  std::wstring folder = freshFolder(L"damaged");
  std::string bytes = launcherBytes();
  bytes.replace(mutation.offset, mutation.bytes.size(), mutation.bytes);
  std::wstring exe = folder + L"\\launcher.exe";
  writeWholeFile(exe, bytes);
  std::wstring temp = folder + L"\\tmp";
  std::wstring target = bulkyTarget(temp);
  if (fullTarget)
    placeTheApplication(target);
  else
    CreateDirectoryW(temp.c_str(), nullptr);
  Outcome outcome = classify(launchWithTemp(exe, temp, kRunTimeoutMs), target, why);
  testing::AssertionResult contained = nothingOutsideTheTarget(folder);
  if (!contained) {
    *why += std::string(why->empty() ? "" : "; ") + contained.message();
    outcome = Outcome::kOther;
  }
  removeTree(folder);
  return outcome;
}

using MutationMaker = Mutation (*)(std::mt19937& random);

struct Results {
  Counts onEmpty, onFull;
  Counts total() const {
    return {onEmpty.ran + onFull.ran, onEmpty.decode + onFull.decode,
            onEmpty.header + onFull.header, onEmpty.other + onFull.other};
  }
};

std::ostream& operator<<(std::ostream& out, const Counts& counts) {
  return out << "ran correctly " << counts.ran << ", decode message " << counts.decode
             << ", header message " << counts.header << ", anything else " << counts.other;
}

// Runs `count` damaged copies made by `make` from `seed`; prints and returns the outcomes.
Results runMutations(const char* part, unsigned seed, int count, MutationMaker make) {
  std::mt19937 random(seed);
  Results results;
  for (int index = 0; index < count; ++index) {
    Mutation mutation = make(random);
    while (!changesSomething(mutation))
      mutation = make(random);
    bool fullTarget = index % kFullTargetEvery == kFullTargetEvery - 1;
    std::string why;
    Outcome outcome = runDamaged(mutation, fullTarget, &why);
    ++(fullTarget ? results.onFull : results.onEmpty)[outcome];
    if (outcome == Outcome::kOther)
      ADD_FAILURE() << describe(mutation, index, seed) << " on a"
                    << (fullTarget ? " full" : "n empty") << " target directory: " << why;
  }
  std::cout << part << ": " << count << " damaged copies (seed " << seed << "): " << results.total()
            << "\n  on an empty target directory: " << results.onEmpty
            << "\n  on a full target directory: " << results.onFull << "\n";
  return results;
}

}  // namespace

TEST(DamagedPayload, ChangedMagicEndsWithTheHeaderMessage) {
  Results results = runMutations("magic", 101, 9, [](std::mt19937& random) {
    return flipBytes(random, launcherRegion().magic + pick(random, kPayloadMagicBytes), 1, "magic");
  });
  EXPECT_EQ(results.total().header, 9);
}

TEST(DamagedPayload, ChangedFrameHeaderRunsCorrectlyOrEndsWithTheDecodeMessage) {
  Results results = runMutations("frame header", 202, 24, [](std::mt19937& random) {
    return flipBytes(random, launcherRegion().frame + pick(random, kFrameHeaderBytes), 1,
                     "frame header");
  });
  EXPECT_EQ(results.total().other, 0);
}

TEST(DamagedPayload, ChangedBlockHeadersRunCorrectlyOrEndWithTheDecodeMessage) {
  const Region& region = launcherRegion();
  std::cout << "frame: " << region.frameEnd - region.frame << " bytes in " << region.blocks.size()
            << " blocks, "
            << std::count_if(region.blocks.begin(), region.blocks.end(),
                             [](const Block& b) { return b.type == kCompressedBlock; })
            << " of them compressed\n";
  Results results = runMutations("block headers", 303, 40, [](std::mt19937& random) {
    const Block& block = pickBlock(random, false);
    return flipBytes(random, block.header + pick(random, kBlockHeaderBytes), 1, "block header");
  });
  EXPECT_EQ(results.total().other, 0);
}

TEST(DamagedPayload, ChangedCompressedDataRunsCorrectlyOrEndsWithTheDecodeMessage) {
  Results results = runMutations("compressed block data", 404, 60, [](std::mt19937& random) {
    const Block& block = pickBlock(random, true);
    size_t length = std::min(burstLength(random), block.contentBytes);
    return flipBytes(random, block.content + pick(random, block.contentBytes - length + 1), length,
                     "compressed block data");
  });
  EXPECT_EQ(results.total().other, 0);
}

TEST(DamagedPayload, ChangedBytesAnywhereInTheFrameRunCorrectlyOrEndWithTheDecodeMessage) {
  Results results = runMutations("frame data", 505, 60, [](std::mt19937& random) {
    const Region& region = launcherRegion();
    size_t length = burstLength(random);
    size_t offset = region.frame + kFrameHeaderBytes +
                    pick(random, region.frameEnd - region.frame - kFrameHeaderBytes - length + 1);
    return flipBytes(random, offset, length, "frame data");
  });
  EXPECT_EQ(results.total().other, 0);
}

TEST(DamagedPayload, TruncatedFrameEndsWithTheDecodeMessageWhenFilesAreWritten) {
  Results results = runMutations("truncation", 606, 30, truncateFrame);
  EXPECT_EQ(results.total().other, 0);
  // Every file is written on an empty target, the last one too, whose data the zeroes reach.
  EXPECT_EQ(results.onEmpty.decode, 20);
}

TEST(DamagedPayload, ChangedTrailingBytesHaveNoEffect) {
  Results results = runMutations("trailing bytes", 707, 18, [](std::mt19937& random) {
    size_t offset = pick(random, kTrailerBytes);
    size_t length = 1 + pick(random, kTrailerBytes - offset);
    return flipBytes(random, launcherRegion().frameEnd + offset, length, "trailing bytes");
  });
  EXPECT_EQ(results.total().ran, 18);
}

namespace {

constexpr int kDamagedCopies = 3;
constexpr int kStartsPerCopy = 100;
// Damage found early in the frame ends a start soon, while the decoder still runs ahead.
constexpr size_t kEarlyBlocks = 4;

// Damaged data in one of the first compressed blocks that ends a start with the decode message.
Mutation earlyDamageWithTheDecodeMessage(std::mt19937& random) {
  std::vector<const Block*> early;
  for (const Block& block : launcherRegion().blocks)
    if (block.type == kCompressedBlock && early.size() < kEarlyBlocks)
      early.push_back(&block);
  for (;;) {
    const Block& block = *early[pick(random, early.size())];
    Mutation mutation =
        flipBytes(random, block.content + pick(random, block.contentBytes), 1, "early data");
    std::string why;
    if (changesSomething(mutation) && runDamaged(mutation, false, &why) == Outcome::kDecodeMessage)
      return mutation;
  }
}

}  // namespace

// A decode failure meets the decoder thread at any point of its work: on the decoder's own
// error, or on the main thread's checksum while the decoder runs ahead. Each of a few damaged
// copies is started again and again on an empty target directory.
TEST(DamagedPayload, EveryStartOfACopyDamagedEarlyEndsWithTheDecodeMessage) {
  std::mt19937 random(808);
  int failures = 0;
  for (int copy = 0; copy < kDamagedCopies; ++copy) {
    Mutation mutation = earlyDamageWithTheDecodeMessage(random);
    std::wstring folder = freshFolder(L"repeated");
    std::string bytes = launcherBytes();
    bytes.replace(mutation.offset, mutation.bytes.size(), mutation.bytes);
    std::wstring exe = folder + L"\\launcher.exe";
    writeWholeFile(exe, bytes);
    for (int start = 0; start < kStartsPerCopy; ++start) {
      std::wstring temp = folder + L"\\tmp-" + std::to_wstring(start);
      CreateDirectoryW(temp.c_str(), nullptr);
      ProcessResult r = launchWithTemp(exe, temp, kRunTimeoutMs).process;
      removeTree(temp);
      if (r.exitCode == 2 && r.out == kDecodeMessage && r.err.empty())
        continue;
      if (++failures <= 5)
        ADD_FAILURE() << describe(mutation, copy, 808) << ", start " << start << ": exit code 0x"
                      << std::hex << r.exitCode << ", standard output \"" << r.out
                      << "\", standard error \"" << r.err << "\"";
    }
    removeTree(folder);
  }
  EXPECT_EQ(failures, 0);
}

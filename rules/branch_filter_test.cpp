#include "rules/branch_filter.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "rules/little_endian.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes randomBytes(size_t count, unsigned seed) {
  std::mt19937 random(seed);
  Bytes bytes(count);
  for (unsigned char& byte : bytes) {
    // Half the bytes are form openers or top bytes of near operands, so forms are everywhere.
    static const unsigned char kCommon[] = {0xE8, 0xE9, 0x0F, 0x85, 0xFF, 0x15, 0x25, 0x00};
    byte = random() % 2 == 0 ? kCommon[random() % sizeof kCommon]
                             : static_cast<unsigned char>(random());
  }
  return bytes;
}

// Undoes the filter of `file` through unfilterChunk, the file cut into chunks of the lengths
// `chunkLength` gives in turn, each chunk's unsettled bytes passed again with the next chunk's,
// as the launcher passes them.
template <typename ChunkLength>
Bytes unfilterInChunks(const Bytes& file, const FilterRanges& ranges, ChunkLength chunkLength) {
  Bytes out;
  UnfilterCursor cursor{&ranges, 0, 0, 0};
  Bytes pending;
  size_t at = 0;
  while (at < file.size() || !pending.empty()) {
    const size_t take = std::min(chunkLength(), file.size() - at);
    pending.insert(pending.end(), file.begin() + at, file.begin() + at + take);
    at += take;
    const size_t settled = unfilterChunk(&cursor, pending.data(), pending.size());
    EXPECT_TRUE(settled > 0 || at < file.size()) << "no progress at the end of the file";
    if (settled == 0 && at == file.size()) {
      break;
    }
    EXPECT_LT(pending.size() - settled, kMaxBranchFormBytes);
    out.insert(out.end(), pending.begin(), pending.begin() + settled);
    pending.erase(pending.begin(), pending.begin() + settled);
  }
  return out;
}

Bytes filtered(Bytes file, const FilterRanges& ranges) {
  for (uint32_t i = 0; i < ranges.count; ++i) {
    const FilterRange& range = ranges.ranges[i];
    filterBranches(file.data() + range.offset, range.bytes, range.address);
  }
  return file;
}

TEST(BranchFilter, CallsToOneTargetReadAlike) {
  // Two calls and an indirect call through one import slot, from different places.
  Bytes code = {0x90, 0xE8, 0xFB, 0x0F, 0x00, 0x00, 0x90, 0x90, 0xE8, 0xF4,
                0x0F, 0x00, 0x00, 0xFF, 0x15, 0xEE, 0x0F, 0x00, 0x00};
  const Bytes original = code;
  filterBranches(code.data(), code.size(), 0x1000);
  // Each leads to 0x2001: the address after it plus its rel32.
  EXPECT_EQ(readLittleEndian<uint32_t>(&code[2]), 0x2001u);
  EXPECT_EQ(readLittleEndian<uint32_t>(&code[9]), readLittleEndian<uint32_t>(&code[2]));
  EXPECT_EQ(readLittleEndian<uint32_t>(&code[15]), readLittleEndian<uint32_t>(&code[2]));
  unfilterBranches(code.data(), code.size(), 0x1000);
  EXPECT_EQ(code, original);
}

TEST(BranchFilter, FarOperandsAndFormsPastTheRangeStayAsTheyAre) {
  // A call 2^24 bytes away or more is no near one; the last call's operand runs past the range.
  const Bytes code = {0xE8, 0x00, 0x00, 0x00, 0x01, 0xE8, 0x10, 0x00, 0x00};
  Bytes copy = code;
  filterBranches(copy.data(), copy.size(), 0x5000);
  EXPECT_EQ(copy, code);
}

TEST(BranchFilter, RoundTripsRandomBytesAtAnyAddress) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    const Bytes original = randomBytes(4096 + seed, seed);
    Bytes bytes = original;
    const uint32_t address = seed % 2 == 0 ? 0x1000 * seed : 0xFFFFFF00u - seed;
    filterBranches(bytes.data(), bytes.size(), address);
    EXPECT_NE(bytes, original);
    unfilterBranches(bytes.data(), bytes.size(), address);
    EXPECT_EQ(bytes, original) << "seed " << seed;
  }
}

// Every form, ending from 7 bytes before its range's end to 4 bytes past it (into the next range
// or the file's own bytes), comes back byte-exact in chunks of every length from 1 to 9 bytes.
TEST(BranchFilter, ChunkedInverseMatchesAtRangeEndsAndEveryChunkBoundary) {
  const Bytes forms[] = {{0xE8, 0x10, 0x00, 0x00, 0x00},
                         {0xE9, 0xF0, 0xFF, 0xFF, 0xFF},
                         {0x0F, 0x84, 0x20, 0x00, 0x00, 0x00},
                         {0xFF, 0x15, 0x30, 0x01, 0x00, 0x00},
                         {0xFF, 0x25, 0x00, 0x00, 0x00, 0xFF}};
  // Range 1 holds bytes 8 to 40, range 2 the bytes from 40 to 56, right after it.
  const FilterRanges ranges{2, {{8, 32, 0x1000}, {40, 16, 0x3000}}};
  for (const Bytes& form : forms) {
    for (size_t end = 40 - 7; end <= 40 + 4; ++end) {
      Bytes file(64, 0x90);
      std::copy(form.begin(), form.end(), file.begin() + static_cast<long>(end - form.size()));
      std::copy(form.begin(), form.end(), file.begin() + static_cast<long>(end + 16 - form.size()));
      const Bytes packed = filtered(file, ranges);
      for (size_t chunk = 1; chunk <= 9; ++chunk) {
        EXPECT_EQ(unfilterInChunks(packed, ranges, [chunk] { return chunk; }), file)
            << "form " << int{form[0]} << " ending at " << end << ", chunks of " << chunk;
      }
    }
  }
}

TEST(BranchFilter, ChunkedInverseRoundTripsRandomFilesInRandomChunks) {
  std::mt19937 random(7);
  for (unsigned seed = 1; seed <= 30; ++seed) {
    const Bytes file = randomBytes(3000, seed);
    const FilterRanges ranges{3, {{0, 1000, 0x1000}, {1000, 999, 0x2400}, {2500, 500, 0x9000}}};
    const Bytes packed = filtered(file, ranges);
    EXPECT_NE(packed, file);
    EXPECT_EQ(unfilterInChunks(packed, ranges, [&random] { return 1 + random() % 64; }), file)
        << "seed " << seed;
  }
}

// This test program's own machine code: real x86-64 code with its calls, jumps and RIP-relative
// branches, filtered as one range whose end falls at every alignment.
TEST(BranchFilter, RoundTripsRealCode) {
  std::ifstream self("/proc/self/exe", std::ios::binary);
  const Bytes program{std::istreambuf_iterator<char>(self), {}};
  ASSERT_GT(program.size(), size_t{1} << 16);
  const Bytes code(program.begin() + (program.size() / 4), program.begin() + (program.size() / 2));
  for (size_t cut = 0; cut < 8; ++cut) {
    const Bytes file(code.begin(), code.end() - static_cast<long>(cut));
    const FilterRanges ranges{1, {{0, static_cast<uint32_t>(file.size()), 0x1000}}};
    const Bytes packed = filtered(file, ranges);
    EXPECT_NE(packed, file);
    EXPECT_EQ(unfilterInChunks(packed, ranges, [] { return size_t{65536 + 3}; }), file);
  }
}

Bytes rangeFields(const std::vector<FilterRange>& ranges) {
  Bytes fields;
  for (const FilterRange& range : ranges) {
    appendLittleEndian(fields, range.offset);
    appendLittleEndian(fields, range.bytes);
    appendLittleEndian(fields, range.address);
  }
  return fields;
}

TEST(BranchFilter, ReadsSoundRangesAndRefusesOthers) {
  FilterRanges ranges;
  const Bytes sound = rangeFields({{0x400, 0x200, 0x1000}, {0x600, 0x10, 0x2000}});
  ASSERT_TRUE(readFilterRanges(sound.data(), 2, 0x610, &ranges));
  EXPECT_EQ(ranges.count, 2u);
  EXPECT_EQ(ranges.ranges[1].address, 0x2000u);
  EXPECT_FALSE(readFilterRanges(sound.data(), 2, 0x60F, &ranges)) << "past the file";
  EXPECT_FALSE(readFilterRanges(sound.data(), 0, 0x610, &ranges)) << "no range";
  const Bytes overlapping = rangeFields({{0x400, 0x201, 0x1000}, {0x600, 0x10, 0x2000}});
  EXPECT_FALSE(readFilterRanges(overlapping.data(), 2, 0x610, &ranges));
  const Bytes empty = rangeFields({{0x400, 0, 0x1000}});
  EXPECT_FALSE(readFilterRanges(empty.data(), 1, 0x610, &ranges));
  const Bytes wrapping = rangeFields({{0xFFFFFFF0u, 0x20, 0x1000}});
  EXPECT_FALSE(readFilterRanges(wrapping.data(), 1, kMaxFileBytes, &ranges));
  const Bytes many(filterHeaderBytes(kMaxFilterRanges + 1), 0);
  EXPECT_FALSE(readFilterRanges(many.data(), kMaxFilterRanges + 1, 1 << 20, &ranges));
}

}  // namespace

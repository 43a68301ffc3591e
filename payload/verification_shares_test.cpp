#include "payload/verification_shares.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// The bytes each share gets of files of `sizes`, in order.
std::vector<uint64_t> shareBytes(const std::vector<uint64_t>& sizes, size_t verifiers) {
  uint64_t total = 0;
  for (uint64_t size : sizes)
    total += size;
  std::vector<uint64_t> bytes(verifiers);
  uint64_t offset = 0;
  for (uint64_t size : sizes) {
    size_t share = shareOfFile(offset, size, total, verifiers);
    EXPECT_LT(share, verifiers);
    if (share < verifiers)
      bytes[share] += size;
    offset += size;
  }
  return bytes;
}

}  // namespace

TEST(VerifierCount, OnePerProcessorUpToTheBoundAndNoMoreThanFiles) {
  EXPECT_EQ(verifierCount(1, 500), 1u);
  EXPECT_EQ(verifierCount(2, 500), 2u);
  EXPECT_EQ(verifierCount(64, 500), kMaxVerifiers);
  EXPECT_EQ(verifierCount(8, 3), 3u);
  EXPECT_EQ(verifierCount(8, 0), 1u) << "the calling thread verifies even an empty table";
  EXPECT_EQ(verifierCount(0, 10), 1u);
}

TEST(ShareOfFile, SplitsByBytesNotByCount) {
  // One large file and many small ones: a split by count would give all the bytes to one.
  std::vector<uint64_t> sizes = {600};
  sizes.insert(sizes.end(), 60, 10);
  std::vector<uint64_t> bytes = shareBytes(sizes, 2);
  EXPECT_EQ(bytes[0], 600u);
  EXPECT_EQ(bytes[1], 600u);
}

TEST(ShareOfFile, KeepsEachShareWithinTheLargestFileOfAnEqualSplit) {
  std::vector<uint64_t> sizes;
  for (uint64_t i = 0; i < 300; ++i)
    sizes.push_back((i * 7919) % 5000);
  uint64_t total = 0, largest = 0;
  for (uint64_t size : sizes) {
    total += size;
    largest = size > largest ? size : largest;
  }
  for (size_t verifiers = 1; verifiers <= kMaxVerifiers; ++verifiers) {
    for (uint64_t bytes : shareBytes(sizes, verifiers)) {
      EXPECT_LT(bytes, total / verifiers + largest) << verifiers;
      EXPECT_GT(bytes + largest, total / verifiers) << verifiers;
    }
  }
}

TEST(ShareOfFile, GivesEveryFileAShareWhateverTheFigures) {
  // Empty files, an empty total, and offsets and totals that wrapped past 64 bits in a damaged
  // table still give a share below the count.
  EXPECT_EQ(shareOfFile(0, 0, 0, 3), 0u);
  EXPECT_EQ(shareOfFile(100, 0, 100, 4), 3u);
  EXPECT_LT(shareOfFile(UINT64_MAX, UINT64_MAX, 5, 4), 4u);
  EXPECT_LT(shareOfFile(UINT64_MAX - 1, 2, UINT64_MAX, 4), 4u);
  EXPECT_EQ(shareOfFile(0, UINT64_MAX, UINT64_MAX, 1), 0u);
}

#include "payload/payload_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "payload/test_regions.h"
#include "tests/support/probe.h"
#include "tests/support/process.h"

namespace {

// Opens the reader on a region and keeps the region alive while it is read.
const std::string& openRegion(const std::string& name) {
  static std::string region;
  region = regionBytes(name);
  openPayload(reinterpret_cast<const unsigned char*>(region.data()), region.size());
  return region;
}

std::string read(uint64_t count) {
  std::string bytes(count, '\0');
  readPayloadBytes(bytes.data(), count);
  return bytes;
}

ProcessResult readInProbe(const std::string& region, uint64_t count) {
  ProcessOptions options;
  options.setEnvironment[L"TARNIC_TEST_REGION"] = widen(region);
  options.setEnvironment[L"TARNIC_TEST_COUNT"] = std::to_wstring(count);
  options.timeoutMs = 60000;
  return runProbe("read_region", options);
}

void expectDecodeFailure(const ProcessResult& r) {
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.out, "Error, couldn't decode attached data.\r\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 2u);
}

}  // namespace

TARNIC_PROBE(read_region) {
  openRegion(narrow(_wgetenv(L"TARNIC_TEST_REGION")));
  read(std::stoull(_wgetenv(L"TARNIC_TEST_COUNT")));
  closePayload();
}

TEST(PayloadReader, DeliversAnIndependentlyMadeStreamAcrossStepAndQueueBoundaries) {
  const std::string expected = streamBytes("large");
  ASSERT_GT(expected.size(), 2 * kQueueBytes);
  openRegion("large");
  // Reads that end just before, straddle, and span decoder steps and the end of the queue,
  // reads in place, and zero-byte reads.
  std::string got;
  for (uint64_t count : {0ull, 1ull, 2ull, kDecodeStepBytes - 4, 0ull, 4ull, kDecodeStepBytes + 3,
                         kQueueBytes - 2 * kDecodeStepBytes - 1, 2ull, kQueueBytes + 5}) {
    got += read(count);
  }
  while (got.size() < expected.size()) {
    size_t taken;
    const unsigned char* bytes = takePayloadBytes(expected.size() - got.size(), &taken);
    ASSERT_GT(taken, 0u);
    got.append(reinterpret_cast<const char*>(bytes), taken);
  }
  closePayload();
  EXPECT_TRUE(got == expected) << "stream differs from the one compressed";
}

TEST(PayloadReader, ReadsTheLastOutputOfAFrameThatEndsTheInput) {
  // Without trailing bytes, the frame's last decoder step arrives when the input is used up.
  const std::string expected = streamBytes("window-multiple-no-trailer");
  openRegion("window-multiple-no-trailer");
  std::string got = read(kDecodeStepBytes - 1);
  got += read(expected.size() - got.size());
  closePayload();
  EXPECT_TRUE(got == expected);
  expectDecodeFailure(readInProbe("window-multiple-no-trailer", expected.size() + 1));
}

TEST(PayloadReader, RejectsAWrongMagicBeforeDecompressing) {
  ProcessResult r = readInProbe("wrong-magic", 1);
  EXPECT_EQ(r.out, "Error, couldn't find attached data header.\r\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 2u);
}

TEST(PayloadReader, EndsWithTheDecodeMessageOnDamagedOrTruncatedFrames) {
  const uint64_t all = streamBytes("sample").size();
  expectDecodeFailure(readInProbe("truncated", all));
  expectDecodeFailure(readInProbe("damaged", all));
  // A read beyond the terminator meets the trailing bytes, which are no frame.
  expectDecodeFailure(readInProbe("terminator-only", 3));
  expectDecodeFailure(readInProbe("sample", all + 1));
}

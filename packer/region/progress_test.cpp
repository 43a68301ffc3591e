#include "packer/region/progress.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using std::chrono::milliseconds;

TEST(ProgressLine, ShowsNothingInTheFirstSecondThenAtMostTenLinesASecond) {
  ProgressLine line(4, 8000000);
  ProgressCounts counts{1, 2000000, 500000};
  EXPECT_EQ(line.due(counts, milliseconds(0)), "");
  EXPECT_EQ(line.due(counts, milliseconds(999)), "");
  EXPECT_NE(line.due(counts, milliseconds(1000)), "");
  EXPECT_EQ(line.due(counts, milliseconds(1099)), "");
  EXPECT_NE(line.due(counts, milliseconds(1100)), "");
  int shown = 0;
  for (int ms = 1101; ms <= 2100; ++ms) {
    shown += line.due(counts, milliseconds(ms)).empty() ? 0 : 1;
  }
  EXPECT_EQ(shown, 10);
}

TEST(ProgressLine, CountsFilesAndMegabytesAndTellsTheTimeLeftFromTheRecentRate) {
  EXPECT_EQ(progressText({37, 12300000, 2100000}, 104, 30600000, 5, 2460000),
            "packing 37/104 files, 12.3/30.6 MB in, 2.1 MB out, 2.5 MB/s, about 8 s left");
  EXPECT_EQ(progressText({1, 1000000, 0}, 3, 200000000, 2, 500000),
            "packing 1/3 files, 1.0/200.0 MB in, 0.0 MB out, 0.5 MB/s, about 7 min left");
  EXPECT_EQ(progressText({0, 0, 9}, 3, 200000000, 2, std::nullopt),
            "packing 0/3 files, 0.0/200.0 MB in, 0.0 MB out, 0.0 MB/s");
}

// A slow start (nothing compressed for three seconds, then 10 MB a second) gives no estimate
// until the line has watched for five seconds, and then one from the last five alone: 40 MB
// left at 10 MB/s, where the rate since the start would say 6 s.
TEST(ProgressLine, EstimatesOnlyFromFiveSecondsOfRecentData) {
  ProgressLine line(1, 100000000);
  const auto bytesAt = [](int ms) { return ms < 3000 ? 0 : uint64_t(ms - 3000) * 10000; };
  for (int ms = 1000; ms < 6000; ms += 100) {
    EXPECT_EQ(line.due({0, bytesAt(ms), 0}, milliseconds(ms)).find("left"), std::string::npos)
        << ms;
  }
  const std::string later = line.due({0, bytesAt(9000), 0}, milliseconds(9000));
  EXPECT_NE(later.find(", about 4 s left"), std::string::npos) << later;
}

}  // namespace

#include "packer/pack_summary.h"

#include <gtest/gtest.h>

TEST(PackSummary, GivesNoRatioForNothingIn) {
  EXPECT_EQ(summaryLine("x.region", {0, 0, 40, {}}, 0.004),
            "tarnic-pack: x.region: 0 files, 0 bytes in, 40 bytes out (-), 0.00 s");
  EXPECT_EQ(summaryLine("x.exe", {1, 1000, 250, {}}, 1.5),
            "tarnic-pack: x.exe: 1 file, 1000 bytes in, 250 bytes out (25.0%), 1.50 s");
  EXPECT_EQ(summaryLine("app/x.exe", {1, 1000, 250, {"app/x.exe"}}, 1.5),
            "tarnic-pack: app/x.exe: 1 file, 1000 bytes in, 250 bytes out (25.0%), 1.50 s; left "
            "out: app/x.exe, which this run writes");
}

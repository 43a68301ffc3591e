#include "packer/system/output_file.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "packer/messages/pack_error.h"
#include "tests/packer/test_util.h"

namespace fs = std::filesystem;

TEST(OutputFile, LeavesNothingWhenWritingFailsAndTheFileWhenCommitted) {
  ScratchFolder scratch;
  writeFile(scratch / "app/kept", "abc");
  EXPECT_THROW(
      {
        OutputFile output(scratch / "region.bin");
        std::fputs("ab", output.stream());
        throw PackError("cannot write the region");
      },
      PackError);
  EXPECT_EQ(namesIn(scratch.path()), std::vector<std::string>{"app"});
  {
    OutputFile output(scratch / "region.bin");
    std::fputs("abc", output.stream());
    output.commit();
  }
  EXPECT_EQ(namesIn(scratch.path()), (std::vector<std::string>{"app", "region.bin"}));
  EXPECT_EQ(readFile(scratch / "region.bin"), "abc");
}

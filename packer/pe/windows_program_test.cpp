#include "packer/pe/windows_program.h"

#include <gtest/gtest.h>

#include "tests/packer/test_util.h"

namespace {

MainProgram inspect(const std::string& bytes) {
  return inspectMainProgram(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                            bytes.size());
}

TEST(MainProgram, TakesA64BitX64ProgramAndTellsWhetherItIsAGuiProgram) {
  EXPECT_EQ(inspect(makeProgram()).problem, "");
  EXPECT_FALSE(inspect(makeProgram()).windowed);
  ProgramHeaders gui;
  gui.subsystem = 2;
  EXPECT_EQ(inspect(makeProgram(gui)).problem, "");
  EXPECT_TRUE(inspect(makeProgram(gui)).windowed);
}

TEST(MainProgram, NamesWhatAFileIsWhenItIsNoProgramALauncherCanStart) {
  ProgramHeaders pe32, arm, noImage;
  pe32.magic = 0x10B;
  pe32.machine = 0x14C;
  arm.machine = 0x1C4;
  noImage.characteristics = 0x20;
  std::string dos = "MZ" + std::string(62, '\0');
  dos[0x3C] = 0x40;
  const std::pair<std::string, const char*> cases[] = {
      {"", "is empty (0 bytes)"},
      {"MZ", "is not a Windows program: it is cut short in its DOS header"},
      {dos + "not PE", "is not a Windows program: it has no PE header, as a DOS program"},
      {makeProgram(pe32), "is a 32-bit Windows program (PE32, machine 0x14c, x86)"},
      {makeProgram(arm), "is a 64-bit Windows program for another processor (machine 0x1c4, ARM)"},
      {makeProgram(noImage), "is not marked as an executable image"},
      {makeProgram().substr(0, 0x60), "is not a Windows program: it is cut short"},
  };
  for (const auto& [bytes, words] : cases) {
    const std::string problem = inspect(bytes).problem;
    EXPECT_EQ(problem.rfind(words, 0), 0u) << words << ": " << problem;
  }
}

}  // namespace

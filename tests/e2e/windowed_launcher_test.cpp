// Windowed launchers: packed for a GUI main program unasked, or chosen for a console program.
// They open no console, hand their child none but their standard handles, and report a
// failure on the handles they were given.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/e2e/e2e_support.h"

namespace {

constexpr uint16_t kGuiSubsystem = 2;
constexpr uint16_t kConsoleSubsystem = 3;

// The subsystem field of the image's optional header.
uint16_t subsystemOf(const std::wstring& exe) {
  const std::string bytes = readWholeFile(exe).value();
  auto number = [&](size_t at, size_t count) {
    uint32_t value = 0;
    for (size_t i = count; i > 0; --i)
      value = value << 8 | static_cast<unsigned char>(bytes.at(at + i - 1));
    return value;
  };
  const size_t optionalHeader = number(0x3C, 4) + 4 + 20;
  return static_cast<uint16_t>(number(optionalHeader + 68, 2));
}

}  // namespace

TEST(WindowedLauncher, IsPackedForAGuiMainProgramAndPassesItsExitCode) {
  EXPECT_EQ(subsystemOf(launcherPath(L"windowed")), kGuiSubsystem);
  EXPECT_EQ(subsystemOf(launcherPath(L"basic")), kConsoleSubsystem);
  Launch r = launch(L"windowed", {L"--exit", L"7"});
  EXPECT_EQ(r.process.exitCode, 7u) << r.process.err;
  EXPECT_EQ(r.report.module, r.temp + L"\\e2e\\windowed\\report.exe");
  EXPECT_EQ(r.report.arguments.size(), 3u);
  EXPECT_FALSE(r.report.console);
}

TEST(WindowedLauncher, HandsAConsoleProgramNoConsoleButItsStandardHandles) {
  EXPECT_EQ(subsystemOf(launcherPath(L"windowed_console_main")), kGuiSubsystem);
  Launch r = launch(L"windowed_console_main", {L"--stderr", L"to the error pipe", L"--exit", L"3"});
  EXPECT_EQ(r.process.exitCode, 3u) << r.process.err;
  EXPECT_EQ(r.report.module, r.temp + L"\\e2e\\windowed-console\\report.exe");
  EXPECT_EQ(r.process.err, "to the error pipe\r\n");
  EXPECT_FALSE(r.report.console);
}

TEST(WindowedLauncher, WritesItsFatalMessageToTheErrorHandleItWasGiven) {
  Launch r = launch(L"windowed_not_a_program");
  EXPECT_EQ(r.process.err, launchFailureLine(ERROR_BAD_EXE_FORMAT));
  EXPECT_EQ(r.process.out, "");
  EXPECT_EQ(r.process.exitCode, 2u);
}

#include "diagnostics/fatal.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/support/probe.h"
#include "tests/support/process.h"
#include "tests/support/system_seams.h"

TARNIC_PROBE(header_missing) {
  failHeaderMissing();
}
TARNIC_PROBE(out_of_memory) {
  failOutOfMemory();
}
TARNIC_PROBE(decode_failed) {
  failDecode();
}
TARNIC_PROBE(register_failed) {
  failRegisterHandler();
}
TARNIC_PROBE(launch_failed) {
  failLaunch(ERROR_BAD_EXE_FORMAT);
}
TARNIC_PROBE(launch_failed_no_text) {
  failLaunch(0x2000BEEF);
}
TARNIC_PROBE(launch_failed_negative) {
  failLaunch(0xC0000005);
}
TARNIC_PROBE(unpack_failed) {
  SetLastError(ERROR_DISK_FULL);
  failUnpack();
}
TARNIC_PROBE(open_for_writing) {
  failOpenForWriting(L"C:\\Target dir\\sub\\app.exe");
}
TARNIC_PROBE(open_for_writing_foreign) {
  failOpenForWriting(L"C:\\t\\\u4e2d\u6587.txt");
}
TARNIC_PROBE(spec_expansion) {
  failSpecExpansion(L"{CACHE_DIR}\\Company\\{NOPE}");
}
// Characters of one console cell each that no single-byte code page holds together.
const wchar_t kForeignFolder[] = L"C:\\Local\\Mk Fail \u0416\u03a9 \u00e9";
// Wine's consoles take no text without a terminal: the seam's console writes what it is given
// to the pipe of standard error, in UTF-8.
TARNIC_PROBE(spec_expansion_on_console) {
  pretendStandardErrorIsConsole();
  failSpecExpansion(kForeignFolder);
}
TARNIC_PROBE(abnormal_end) {
  // Buffered output must not escape: the abnormal end flushes nothing.
  fputs("buffered", stdout);
  endAbnormally();
}
TARNIC_PROBE(message_after_buffered_output) {
  fputs("earlier ", stdout);
  failDecode();
}

TEST(FixedMessage, GoesToStandardOutputWithCrLfAndStatus2) {
  const std::pair<const char*, const char*> cases[] = {
      {"header_missing", "Error, couldn't find attached data header.\r\n"},
      {"out_of_memory", "Error, couldn't allocate memory.\r\n"},
      {"decode_failed", "Error, couldn't decode attached data.\r\n"},
      {"register_failed", "Error, failed to register signal handler.\r\n"},
  };
  for (const auto& [probe, text] : cases) {
    ProcessResult r = runProbe(probe);
    EXPECT_EQ(r.out, text) << probe;
    EXPECT_EQ(r.err, "") << probe;
    EXPECT_EQ(r.exitCode, 2u) << probe;
  }
}

TEST(FixedMessage, FlushesEarlierBufferedOutputOfTheSameStream) {
  ProcessResult r = runProbe("message_after_buffered_output");
  EXPECT_EQ(r.out, "earlier Error, couldn't decode attached data.\r\n");
  EXPECT_EQ(r.exitCode, 2u);
}

TEST(SystemErrorMessage, NamesCodeAndTrimmedSystemTextOnStandardError) {
  ProcessResult r = runProbe("launch_failed");
  EXPECT_EQ(r.err, "Error, couldn't launch child ([Error 193] " + systemText(193) + ")\r\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.exitCode, 2u);
  EXPECT_NE(systemText(193), "");

  r = runProbe("unpack_failed");
  EXPECT_EQ(r.err, "Error, couldn't unpack file to target path. ([Error 112] " + systemText(112) +
                       ")\r\n");
  EXPECT_EQ(r.exitCode, 2u);
}

TEST(SystemErrorMessage, KeepsAnEmptyTextFieldWhenTheSystemHasNoText) {
  ASSERT_EQ(systemText(0x2000BEEF), "");
  ProcessResult r = runProbe("launch_failed_no_text");
  EXPECT_EQ(r.err, "Error, couldn't launch child ([Error 536919791] )\r\n");
  EXPECT_EQ(r.exitCode, 2u);
}

TEST(SystemErrorMessage, PrintsTheCodeAsSignedDecimal) {
  ProcessResult r = runProbe("launch_failed_negative");
  EXPECT_EQ(r.err.rfind("Error, couldn't launch child ([Error -1073741819] ", 0), 0u) << r.err;
  EXPECT_EQ(r.exitCode, 2u);
}

TEST(TrimTrailingLineBreaks, RemovesEveryTrailingCrAndLfOnly) {
  char text[] = "Access denied.\r\n\n\r";
  EXPECT_EQ(trimTrailingLineBreaks(text, strlen(text)), 14u);
  EXPECT_STREQ(text, "Access denied.");

  char breaks[] = "\r\n\r\n";
  EXPECT_EQ(trimTrailingLineBreaks(breaks, 4), 0u);
  EXPECT_STREQ(breaks, "");

  char inner[] = "line one\r\nline two";
  EXPECT_EQ(trimTrailingLineBreaks(inner, strlen(inner)), strlen(inner));
  EXPECT_STREQ(inner, "line one\r\nline two");
}

TEST(OpenForWritingMessage, NamesTheDestinationPathOnStandardError) {
  ProcessResult r = runProbe("open_for_writing");
  EXPECT_EQ(r.err, "Error, failed to open 'C:\\Target dir\\sub\\app.exe' for writing.\r\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.exitCode, 2u);
}

TEST(OpenForWritingMessage, ReplacesCharactersWithoutNarrowFormAndKeepsTheLineWhole) {
  if (GetACP() == CP_UTF8)
    GTEST_SKIP() << "every character has a narrow form in UTF-8";
  ProcessResult r = runProbe("open_for_writing_foreign");
  EXPECT_EQ(r.err, "Error, failed to open 'C:\\t\\??.txt' for writing.\r\n");
  EXPECT_EQ(r.exitCode, 2u);
}

TEST(SpecExpansionMessage, NamesTheTemplateThenEndsAbnormally) {
  ProcessResult r = runProbe("spec_expansion");
  EXPECT_EQ(r.err, "Error, couldn't runtime expand spec '{CACHE_DIR}\\Company\\{NOPE}'.\r\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.exitCode, kFastFailStatus);
}

TEST(AbnormalEnd, WritesNothingAndEndsWithFailFastStatus) {
  ASSERT_TRUE(IsProcessorFeaturePresent(23));
  ProcessResult r = runProbe("abnormal_end");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, kFastFailStatus);
}

TEST(SpecExpansionMessage, WritesThePathAsItIsToAConsole) {
  ProcessResult r = runProbe("spec_expansion_on_console");
  EXPECT_EQ(r.err, "Error, couldn't runtime expand spec '" + narrow(kForeignFolder) + "'.\r\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.exitCode, kFastFailStatus);
}

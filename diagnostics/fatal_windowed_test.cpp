// The windowed launcher's fatal output: the same lines on the standard handles it has, and a
// message box titled with the product name for a line whose stream has no handle. The message
// box is the seam's, which writes what it would show to a handle the probe chooses.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "diagnostics/fatal.h"
#include "tests/support/message_box_seam.h"
#include "tests/support/probe.h"
#include "tests/support/process.h"

namespace {

// Boxes go to the stream that keeps its handle; the other one loses its handle.
void withoutHandle(DWORD lost, DWORD kept, HANDLE none) {
  recordMessageBoxesTo(GetStdHandle(kept));
  SetStdHandle(lost, none);
}

}  // namespace

TARNIC_PROBE(decode_with_handles) {
  recordMessageBoxesTo(GetStdHandle(STD_ERROR_HANDLE));
  failDecode();
}
TARNIC_PROBE(decode_without_output) {
  withoutHandle(STD_OUTPUT_HANDLE, STD_ERROR_HANDLE, nullptr);
  failDecode();
}
TARNIC_PROBE(launch_without_error_stream) {
  withoutHandle(STD_ERROR_HANDLE, STD_OUTPUT_HANDLE, INVALID_HANDLE_VALUE);
  failLaunch(ERROR_BAD_EXE_FORMAT);
}
TARNIC_PROBE(spec_without_error_stream) {
  withoutHandle(STD_ERROR_HANDLE, STD_OUTPUT_HANDLE, nullptr);
  failSpecExpansion(L"{CACHE_DIR}\\Company\\{NOPE}");
}

TARNIC_PROBE(open_for_writing_without_error_stream) {
  withoutHandle(STD_ERROR_HANDLE, STD_OUTPUT_HANDLE, nullptr);
  failOpenForWriting(L"C:\\Local\\Mk Fail \u5730\u96f7 \u00e9\\app.exe");
}

TEST(WindowedFatalOutput, WritesToTheStandardHandlesItHasAndShowsNoBox) {
  ProcessResult r = runProbe("decode_with_handles");
  EXPECT_EQ(r.out, "Error, couldn't decode attached data.\r\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 2u);
}

TEST(WindowedFatalOutput, ShowsAFixedMessageInABoxTitledWithTheProductWithoutOutputHandle) {
  ProcessResult r = runProbe("decode_without_output");
  EXPECT_EQ(r.err, "box: Tessaline Deck | Error, couldn't decode attached data.\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.exitCode, 2u);
}

TEST(WindowedFatalOutput, ShowsASystemErrorLineInABoxWithoutErrorHandle) {
  ProcessResult r = runProbe("launch_without_error_stream");
  EXPECT_EQ(r.out, "box: Tessaline Deck | Error, couldn't launch child ([Error 193] " +
                       systemText(193) + ")\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 2u);
}

TEST(WindowedFatalOutput, ShowsTheSpecMessageInABoxThenEndsAbnormally) {
  ProcessResult r = runProbe("spec_without_error_stream");
  EXPECT_EQ(r.out,
            "box: Tessaline Deck | Error, couldn't runtime expand spec "
            "'{CACHE_DIR}\\Company\\{NOPE}'.\n");
  EXPECT_EQ(r.exitCode, kFastFailStatus);
}

TEST(WindowedFatalOutput, ShowsAPathInABoxAsItIs) {
  ProcessResult r = runProbe("open_for_writing_without_error_stream");
  EXPECT_EQ(r.out,
            "box: Tessaline Deck | Error, failed to open "
            "'C:\\Local\\Mk Fail \u5730\u96f7 \u00e9\\app.exe' for writing.\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 2u);
}

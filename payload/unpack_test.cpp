#include "payload/unpack.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <zstd.h>

#include "payload/payload_reader.h"
#include "payload/test_regions.h"
#include "tests/support/probe.h"
#include "tests/support/process.h"
#include "tests/support/system_seams.h"

// Counts the decoders made and the bytes they produced: the link wraps ZSTD_createDStream and
// ZSTD_decompressStream.
int decodersMade = 0;
uint64_t bytesDecoded = 0;
extern "C" ZSTD_DStream* __real_ZSTD_createDStream();
extern "C" ZSTD_DStream* __wrap_ZSTD_createDStream() {
  ++decodersMade;
  return __real_ZSTD_createDStream();
}
extern "C" size_t __real_ZSTD_decompressStream(ZSTD_DStream*, ZSTD_outBuffer*, ZSTD_inBuffer*);
extern "C" size_t __wrap_ZSTD_decompressStream(ZSTD_DStream* stream, ZSTD_outBuffer* output,
                                               ZSTD_inBuffer* input) {
  const size_t before = output->pos;
  const size_t result = __real_ZSTD_decompressStream(stream, output, input);
  bytesDecoded += output->pos - before;
  return result;
}

namespace {

std::wstring environmentValue(const wchar_t* name) {
  const wchar_t* value = _wgetenv(name);
  return value ? value : L"";
}

// One start: unpacks a region into a target directory in a process of its own and reports
// what it asked of the system.
struct Start {
  ProcessResult process;
  std::wstring programPath;
  int decoders = 0;
  uint64_t decoded = 0;
  int writes = 0;
  int knownFolderCalls = 0;
  std::vector<std::wstring> createdDirectories;
};

// The region's own table comes with it unless `table` names another region's.
Start unpackInProbe(const std::string& region, const std::wstring& target,
                    const std::wstring& fault = L"", const std::string& table = "") {
  ProcessOptions options;
  options.setEnvironment[L"TARNIC_TEST_REGION"] = widen(region);
  options.setEnvironment[L"TARNIC_TEST_TABLE"] = widen(table.empty() ? region : table);
  options.setEnvironment[L"TARNIC_TEST_TARGET"] = target;
  options.setEnvironment[L"TARNIC_TEST_FAULT"] = fault;
  Start start;
  start.process = runProbe("unpack", options);
  std::wstring report = widen(start.process.out);
  report.erase(std::remove(report.begin(), report.end(), L'\r'), report.end());
  for (size_t at = 0, end; (end = report.find(L'\n', at)) != std::wstring::npos; at = end + 1) {
    std::wstring line = report.substr(at, end - at);
    std::wstring key = line.substr(0, line.find(L'=')), value = line.substr(line.find(L'=') + 1);
    if (key == L"program")
      start.programPath = value;
    if (key == L"decoders")
      start.decoders = std::stoi(value);
    if (key == L"decoded")
      start.decoded = std::stoull(value);
    if (key == L"writes")
      start.writes = std::stoi(value);
    if (key == L"knownFolder")
      start.knownFolderCalls = std::stoi(value);
    if (key == L"mkdir")
      start.createdDirectories.push_back(value);
  }
  return start;
}

std::wstring knownFolder(int id) {
  wchar_t path[MAX_PATH];
  SHGetFolderPathW(nullptr, id, nullptr, 0, path);
  return path;
}

// A fresh, not yet existing target directory below the user's home directory, removed when
// the test program ends.
std::wstring freshTarget(const std::wstring& leaf) {
  static const std::wstring root =
      knownFolder(CSIDL_PROFILE) + L"\\" + uniqueName(L"tarnic-unpack-");
  static const struct Cleanup {
    ~Cleanup() { removeTree(root); }
  } cleanup;
  static int serial = 0;
  CreateDirectoryW(root.c_str(), nullptr);
  return root + L"\\" + std::to_wstring(++serial) + L"\\" + leaf;
}

bool fileEquals(const std::wstring& path, const std::string& data) {
  try {
    return readBinaryFile(path) == data;
  } catch (const std::exception&) {
    return false;
  }
}

// Marks a file as written long ago, so that a later write shows in its time.
void ageFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  FILETIME old{0, 0x01C00000};
  SetFileTime(file, nullptr, nullptr, &old);
  CloseHandle(file);
}

bool wasRewritten(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime.dwHighDateTime != 0x01C00000;
}

void expectEveryFileUnpacked(const std::string& region, const std::wstring& target) {
  for (const StreamEntry& entry : parseStream(streamBytes(region)))
    EXPECT_TRUE(fileEquals(target + L"\\" + entry.name, entry.data)) << narrow(entry.name);
}

// Flips the bits of the file's last byte, so that only its checksum tells.
void changeLastByte(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            0, nullptr);
  char last = 0;
  DWORD done;
  SetFilePointer(file, -1, nullptr, FILE_END);
  ReadFile(file, &last, 1, &done, nullptr);
  last = static_cast<char>(~last);
  SetFilePointer(file, -1, nullptr, FILE_END);
  WriteFile(file, &last, 1, &done, nullptr);
  CloseHandle(file);
}

}  // namespace

TARNIC_PROBE(unpack) {
  std::wstring fault = environmentValue(L"TARNIC_TEST_FAULT");
  if (fault == L"home")
    overrideKnownFolder([](int, wchar_t*) { return S_FALSE; });
  if (fault == L"write")
    failWriteFileAfter(1, ERROR_DISK_FULL);
  if (fault == L"short-writes")
    shortenWriteFile(1000);
  if (fault == L"full-disk")
    shortenWriteFile(0);
  if (fault == L"one-processor")
    SetProcessAffinityMask(GetCurrentProcess(), 1);
  static std::string region = regionBytes(narrow(environmentValue(L"TARNIC_TEST_REGION")));
  static std::string table = tableBytes(narrow(environmentValue(L"TARNIC_TEST_TABLE")));
  const std::wstring target = environmentValue(L"TARNIC_TEST_TARGET");
  AttachedPayload payload{reinterpret_cast<const unsigned char*>(region.data()), region.size(),
                          reinterpret_cast<const unsigned char*>(table.data()), table.size()};
  const wchar_t* programPath = unpackPayload(
      target.c_str(), payload,
      UnpackOptions{/* link from siblings */ fault != L"shared", /* record */ false, 0});
  const SystemCalls& calls = systemCalls();
  std::wstring report = L"program=" + std::wstring(programPath) + L"\n";
  report += L"decoders=" + std::to_wstring(decodersMade) + L"\n";
  report += L"decoded=" + std::to_wstring(bytesDecoded) + L"\n";
  report += L"writes=" + std::to_wstring(calls.writeFile) + L"\n";
  report += L"knownFolder=" + std::to_wstring(calls.knownFolder) + L"\n";
  for (const auto& directory : calls.createDirectory)
    report += L"mkdir=" + directory + L"\n";
  fputs(narrow(report).c_str(), stdout);
}

TEST(UnpackPayload, FirstStartWritesEveryFileAndCreatesMissingDirectoriesTopFirst) {
  std::wstring target = freshTarget(L"a\\b");
  std::wstring top = target.substr(0, target.size() - 4);
  Start first = unpackInProbe("sample", target);
  ASSERT_EQ(first.process.exitCode, 0u) << first.process.err;
  expectEveryFileUnpacked("sample", target);
  EXPECT_EQ(first.programPath, target + L"\\app.exe");
  // Up to the target directory the walk goes up until a creation succeeds (below the home
  // directory, which it knows without asking), then down again; the folders below it are made
  // relative to the held folder above them, not by their paths. Known directories are not asked
  // for twice.
  const std::vector<std::wstring> expected = {target, top + L"\\a", top, top + L"\\a", target};
  EXPECT_EQ(first.createdDirectories, expected);
  EXPECT_EQ(first.knownFolderCalls, 1) << "the home directory is looked up once";
}

TEST(UnpackPayload, StartWithEveryFileInPlaceNeitherDecodesNorWrites) {
  std::wstring target = freshTarget(L"t");
  Start first = unpackInProbe("sample", target);
  ASSERT_EQ(first.process.exitCode, 0u) << first.process.err;
  EXPECT_EQ(first.decoders, 1);
  std::vector<StreamEntry> entries = parseStream(streamBytes("sample"));
  for (const StreamEntry& entry : entries)
    ageFile(target + L"\\" + entry.name);

  Start second = unpackInProbe("sample", target);
  ASSERT_EQ(second.process.exitCode, 0u) << second.process.err;
  EXPECT_EQ(second.decoders, 0);
  EXPECT_EQ(second.writes, 0);
  EXPECT_TRUE(second.createdDirectories.empty());
  EXPECT_EQ(second.knownFolderCalls, 0);
  EXPECT_EQ(second.programPath, first.programPath);
  // An empty file holds an empty entry: it is not made again.
  for (const StreamEntry& entry : entries)
    EXPECT_FALSE(wasRewritten(target + L"\\" + entry.name)) << narrow(entry.name);
}

TEST(UnpackPayload, DamagedOrMissingTableFallsBackToTheRegionAndKeepsGoodFiles) {
  std::wstring target = freshTarget(L"t");
  ASSERT_EQ(unpackInProbe("sample", target).process.exitCode, 0u);
  for (const char* table : {"sample-damaged-table", "no-such-table"}) {
    Start start = unpackInProbe("sample", target, L"", table);
    ASSERT_EQ(start.process.exitCode, 0u) << start.process.err;
    EXPECT_EQ(start.decoders, 1) << table;
    EXPECT_EQ(start.writes, 0) << table;
    EXPECT_TRUE(start.createdDirectories.empty()) << table;
    EXPECT_EQ(start.knownFolderCalls, 0) << table;
    EXPECT_EQ(start.programPath, target + L"\\app.exe") << table;
  }
}

TEST(UnpackPayload, RewritesChangedResizedMissingAndEmptiedFilesOnly) {
  std::wstring target = freshTarget(L"t");
  ASSERT_EQ(unpackInProbe("sample", target).process.exitCode, 0u);
  std::vector<StreamEntry> entries = parseStream(streamBytes("sample"));
  for (const StreamEntry& entry : entries)
    ageFile(target + L"\\" + entry.name);
  std::wstring changed = target + L"\\sub\\deeper\\data.bin";
  std::wstring truncated = target + L"\\app.exe";
  std::wstring filled = target + L"\\empty.txt";
  std::wstring missing = target + L"\\odd.bin";
  {
    // Same length, other content: only the checksum tells.
    HANDLE file =
        CreateFileW(changed.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD written;
    WriteFile(file, "D", 1, &written, nullptr);
    CloseHandle(file);
    file = CreateFileW(truncated.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFilePointer(file, 1000, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
    file = CreateFileW(filled.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    WriteFile(file, "x", 1, &written, nullptr);
    CloseHandle(file);
    DeleteFileW(missing.c_str());
  }
  Start start = unpackInProbe("sample", target);
  ASSERT_EQ(start.process.exitCode, 0u) << start.process.err;
  EXPECT_EQ(start.decoders, 1);
  expectEveryFileUnpacked("sample", target);
  for (const StreamEntry& entry : entries) {
    std::wstring path = target + L"\\" + entry.name;
    bool expected = path == changed || path == truncated || path == filled || path == missing;
    EXPECT_EQ(wasRewritten(path), expected) << narrow(entry.name);
  }
}

TEST(UnpackPayload, UnpacksAnApplicationLargerThanTheDecoderMayRunAhead) {
  std::wstring target = freshTarget(L"t");
  Start start = unpackInProbe("large", target);
  ASSERT_EQ(start.process.exitCode, 0u) << start.process.err;
  expectEveryFileUnpacked("large", target);
  EXPECT_EQ(unpackInProbe("large", target).decoders, 0);
}

TEST(UnpackPayload, FileOutOfPlaceIsFoundWhicheverProcessorReadsItAndAloneRewritten) {
  // The files are split by bytes between verifying threads, one per processor: a change in the
  // first, the middle or the last file is found by the thread that reads it, and by the one
  // thread of a process that may run on one processor only.
  std::vector<StreamEntry> entries = parseStream(streamBytes("large"));
  const struct {
    const wchar_t* fault;
    size_t changed;
  } cases[] = {{L"", 0}, {L"", entries.size() - 1}, {L"one-processor", entries.size() / 2}};
  for (const auto& c : cases) {
    std::wstring target = freshTarget(L"t");
    ASSERT_EQ(unpackInProbe("large", target).process.exitCode, 0u);
    for (const StreamEntry& entry : entries)
      ageFile(target + L"\\" + entry.name);
    changeLastByte(target + L"\\" + entries[c.changed].name);
    Start start = unpackInProbe("large", target, c.fault);
    ASSERT_EQ(start.process.exitCode, 0u) << start.process.err;
    EXPECT_EQ(start.decoders, 1);
    EXPECT_EQ(start.programPath, target + L"\\" + entries[0].name);
    expectEveryFileUnpacked("large", target);
    for (size_t i = 0; i < entries.size(); ++i)
      EXPECT_EQ(wasRewritten(target + L"\\" + entries[i].name), i == c.changed) << c.changed;
    // The region is decoded up to the changed file, and what the decoder may run ahead.
    uint64_t upToChanged = 0;
    for (size_t i = 0; i <= c.changed; ++i)
      upToChanged += entries[i].name.size() * 2 + 2 + 12 + entries[i].data.size();
    EXPECT_LE(start.decoded, upToChanged + kQueueBytes + kDecodeStepBytes) << c.changed;
    Start again = unpackInProbe("large", target, c.fault);
    EXPECT_EQ(again.decoders, 0) << c.changed;
    EXPECT_EQ(again.programPath, start.programPath);
  }
}

TEST(UnpackPayload, FileOneByteLongerOrShorterAtAReadBufferBoundaryIsRewritten) {
  // The file's end is found by reading: files of whole read buffers and a byte either side.
  std::wstring target = freshTarget(L"t");
  ASSERT_EQ(unpackInProbe("read-buffers", target).process.exitCode, 0u);
  EXPECT_EQ(unpackInProbe("read-buffers", target).decoders, 0);
  std::wstring longer = target + L"\\buffers-1048576.bin";
  std::wstring shorter = target + L"\\buffers-2097152.bin";
  HANDLE file =
      CreateFileW(longer.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD written;
  WriteFile(file, "x", 1, &written, nullptr);
  CloseHandle(file);
  file = CreateFileW(shorter.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  SetFilePointer(file, -1, nullptr, FILE_END);
  SetEndOfFile(file);
  CloseHandle(file);
  for (const StreamEntry& entry : parseStream(streamBytes("read-buffers")))
    ageFile(target + L"\\" + entry.name);

  Start start = unpackInProbe("read-buffers", target);
  ASSERT_EQ(start.process.exitCode, 0u) << start.process.err;
  EXPECT_EQ(start.decoders, 1);
  expectEveryFileUnpacked("read-buffers", target);
  for (const StreamEntry& entry : parseStream(streamBytes("read-buffers"))) {
    std::wstring path = target + L"\\" + entry.name;
    EXPECT_EQ(wasRewritten(path), path == longer || path == shorter) << narrow(entry.name);
  }
}

TEST(UnpackPayload, DestinationPathTooLongForItsBufferEndsAbnormallyWithoutAWord) {
  // The target directory leaves room for the backslash but not for the first name.
  std::wstring target = freshTarget(L"");
  target += std::wstring(4090 - target.size(), L'p');
  Start start = unpackInProbe("sample", target);
  EXPECT_EQ(start.process.exitCode, kFastFailStatus);
  EXPECT_EQ(start.process.out + start.process.err, "");
}

TEST(UnpackPayload, JoinsWithABackslashEvenAfterOneEndingTheTarget) {
  std::wstring target = freshTarget(L"t") + L"\\";
  Start start = unpackInProbe("first-in-subfolder", target);
  EXPECT_EQ(start.process.exitCode, 0u);
  EXPECT_EQ(start.programPath, target + L"\\sub\\main.exe");
}

TEST(UnpackPayload, DirectoryInThePlaceOfAFileEndsWithTheOpenForWritingMessage) {
  std::wstring target = freshTarget(L"t");
  ASSERT_TRUE(SHCreateDirectoryExW(nullptr, (target + L"\\sub\\main.exe").c_str(), nullptr) ==
              ERROR_SUCCESS);
  Start start = unpackInProbe("first-in-subfolder", target);
  EXPECT_EQ(start.process.err,
            "Error, failed to open '" + narrow(target) + "\\sub\\main.exe' for writing.\r\n");
  EXPECT_EQ(start.process.out, "");
  EXPECT_EQ(start.process.exitCode, 2u);
  EXPECT_EQ(GetFileAttributesW((target + L"\\later.txt").c_str()), INVALID_FILE_ATTRIBUTES)
      << "nothing after the failing entry is written";
}

TEST(UnpackPayload, FileHeldOpenWithoutWriteSharingIsLeftAloneUnlessItDiffers) {
  std::wstring target = freshTarget(L"t");
  ASSERT_EQ(unpackInProbe("first-in-subfolder", target).process.exitCode, 0u);
  std::wstring program = target + L"\\sub\\main.exe";
  HANDLE held = CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(unpackInProbe("first-in-subfolder", target).process.exitCode, 0u);
  CloseHandle(held);

  // Now the file differs while it is held.
  HANDLE file = CreateFileW(program.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  SetEndOfFile(file);
  CloseHandle(file);
  held = CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                     nullptr);
  Start start = unpackInProbe("first-in-subfolder", target);
  CloseHandle(held);
  EXPECT_EQ(start.process.err, "Error, failed to open '" + narrow(program) + "' for writing.\r\n");
  EXPECT_EQ(start.process.exitCode, 2u);
}

TEST(UnpackPayload, FailedWriteEndsWithTheSystemErrorMessage) {
  Start start = unpackInProbe("sample", freshTarget(L"t"), L"write");
  std::string prefix = "Error, couldn't unpack file to target path. ([Error 112] ";
  EXPECT_EQ(start.process.err.rfind(prefix, 0), 0u) << start.process.err;
  EXPECT_EQ(start.process.err.substr(start.process.err.size() - 3), ")\r\n");
  EXPECT_EQ(start.process.out, "");
  EXPECT_EQ(start.process.exitCode, 2u);
}

// A write may succeed having written fewer bytes than asked: what is left goes again, and one
// that writes nothing is a full disk, never a file cut short under its own name.
TEST(UnpackPayload, ShortWritesLeaveNoFileShorterThanItsEntry) {
  const std::wstring target = freshTarget(L"t");
  Start shortened = unpackInProbe("sample", target, L"short-writes");
  EXPECT_EQ(shortened.process.exitCode, 0u) << shortened.process.err;
  expectEveryFileUnpacked("sample", target);

  Start full = unpackInProbe("sample", freshTarget(L"t"), L"full-disk");
  EXPECT_EQ(full.process.err.rfind("Error, couldn't unpack file to target path. ([Error 112] ", 0),
            0u)
      << full.process.err;
  EXPECT_EQ(full.process.out, "");
  EXPECT_EQ(full.process.exitCode, 2u);
}

TEST(UnpackPayload, HomeDirectoryThatCannotBeExpandedEndsWithTheSpecMessage) {
  Start start = unpackInProbe("sample", freshTarget(L"t"), L"home");
  EXPECT_EQ(start.process.err, "Error, couldn't runtime expand spec '{HOME}'.\r\n");
  EXPECT_EQ(start.process.out, "");
  EXPECT_EQ(start.process.exitCode, kFastFailStatus);
}

TEST(UnpackPayload, EndsWithTheDecodeMessageOnNamesOrDataThePayloadCannotHold) {
  for (const char* region : {"overlong-name", "short-data"}) {
    Start start = unpackInProbe(region, freshTarget(L"t"));
    EXPECT_EQ(start.process.out, "Error, couldn't decode attached data.\r\n") << region;
    EXPECT_EQ(start.process.exitCode, 2u) << region;
  }
}

TEST(UnpackPayload, RefusesWrittenDataThatDoesNotMatchItsStoredChecksum) {
  std::wstring target = freshTarget(L"t");
  for (int start = 0; start < 2; ++start) {
    Start r = unpackInProbe("bad-checksum", target);
    EXPECT_EQ(r.process.out, "Error, couldn't decode attached data.\r\n");
    EXPECT_EQ(r.process.exitCode, 2u);
  }
}

TEST(UnpackPayload, RefusesNamesThatLeadOutsideTheTargetDirectoryOrNoFileCanHave) {
  std::wstring root = freshTarget(L"");
  std::wstring target = root + L"inner\\t";
  for (int index = 0; index <= 19; ++index) {
    std::string region = "unsafe-" + std::to_string(index);
    Start r = unpackInProbe(region, target);
    EXPECT_EQ(r.process.out, "Error, couldn't decode attached data.\r\n") << region;
    EXPECT_EQ(r.process.exitCode, 2u) << region;
  }
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((root + L"*").c_str(), &found);
  EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "nothing written: " << narrow(found.cFileName);
  if (search != INVALID_HANDLE_VALUE)
    FindClose(search);
}

TEST(UnpackPayload, MakesFoldersAsDeepAsANameCanReach) {
  std::wstring target = freshTarget(L"t");
  Start start = unpackInProbe("deep", target);
  ASSERT_EQ(start.process.exitCode, 0u) << start.process.err;
  expectEveryFileUnpacked("deep", target);
}

TEST(UnpackPayload, TerminatorAloneUnpacksNothingAndLeavesNoProgram) {
  std::wstring target = freshTarget(L"t");
  Start start = unpackInProbe("terminator-only", target);
  EXPECT_EQ(start.process.exitCode, 0u);
  EXPECT_EQ(start.programPath, L"");
  EXPECT_EQ(GetFileAttributesW(target.c_str()), INVALID_FILE_ATTRIBUTES);
}

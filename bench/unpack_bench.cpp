#include "bench/unpack_bench.h"

#include <windows.h>
#include <psapi.h>
#include <zlib.h>
// ZSTD_getFrameHeader and ZSTD_decodingBufferSize_min: the library's advanced part, linked
// statically.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

#include <cstdio>
#include <set>

#include "bench/bench_process.h"
#include "bench/entry_stream.h"
#include "payload/payload_reader.h"
#include "payload/unpack.h"
#include "rules/entry_table_reader.h"
#include "rules/payload_format.h"

namespace {

void printFigure(const char* key, double value) {
  printf("%s %.1f\n", key, value);
}

void openRegion(const std::string& region) {
  openPayload(reinterpret_cast<const unsigned char*>(region.data()), region.size());
}

// Committed private memory of this process, as Windows charges it against the page file.
uint64_t committedPrivateBytes() {
  uint64_t total = 0;
  MEMORY_BASIC_INFORMATION info;
  for (const char* at = nullptr; VirtualQuery(at, &info, sizeof info) == sizeof info;
       at = static_cast<const char*>(info.BaseAddress) + info.RegionSize) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) {
      total += info.RegionSize;
    }
  }
  return total;
}

uint64_t workingSet() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
    failBench("GetProcessMemoryInfo failed");
  }
  return counters.WorkingSetSize;
}

void measureDecompression(const std::string& region) {
  int64_t start = counterNow();
  uint64_t bytes = decompressFrame(region, nullptr);
  printFigure("microseconds", microsecondsSince(start));
  printFigure("bytes", static_cast<double>(bytes));
}

void measureChecksums(const std::string& region) {
  std::string stream;
  decompressFrame(region, &stream);
  std::vector<StreamEntry> entries = parseEntries(stream);
  int64_t start = counterNow();
  uLong sum = 0;
  for (const StreamEntry& entry : entries) {
    sum ^= crc32(0, entry.data, static_cast<uInt>(entry.size));
  }
  printFigure("microseconds", microsecondsSince(start));
  // Printed so that the loop cannot be optimised away.
  printFigure("crc_xor", static_cast<double>(sum));
}

void createFolder(const std::wstring& path) {
  if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    failBench("cannot create " + narrow(path));
  }
}

void writeFile(const std::wstring& path, const StreamEntry& entry) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    failBench("cannot create " + narrow(path));
  }
  DWORD written = 0;
  if (!WriteFile(file, entry.data, static_cast<DWORD>(entry.size), &written, nullptr) ||
      written != entry.size) {
    failBench("cannot write " + narrow(path));
  }
  CloseHandle(file);
}

// The plain way to put the same files into an empty folder: each folder created once, each
// file created and written in one call.
void measureWriting(const std::string& region, const std::wstring& folder) {
  std::string stream;
  decompressFrame(region, &stream);
  std::vector<StreamEntry> entries = parseEntries(stream);
  int64_t start = counterNow();
  std::set<std::wstring> folders;
  for (const StreamEntry& entry : entries) {
    for (size_t at = entry.name.find(L'\\'); at != std::wstring::npos;
         at = entry.name.find(L'\\', at + 1)) {
      std::wstring parent = folder + L"\\" + entry.name.substr(0, at);
      if (folders.insert(parent).second) {
        createFolder(parent);
      }
    }
    writeFile(folder + L"\\" + entry.name, entry);
  }
  printFigure("microseconds", microsecondsSince(start));
}

AttachedPayload payloadOf(const std::string& region, const std::string& table) {
  return AttachedPayload{reinterpret_cast<const unsigned char*>(region.data()), region.size(),
                         reinterpret_cast<const unsigned char*>(table.data()), table.size()};
}

// The launcher's own unpacking, with the entry table the packer places beside the region.
void measureUnpacking(const std::string& region, const std::string& table,
                      const std::wstring& folder) {
  int64_t start = counterNow();
  unpackPayload(folder.c_str(), payloadOf(region, table),
                UnpackOptions{/* link from siblings */ true, /* record */ true, 0});
  printFigure("microseconds", microsecondsSince(start));
}

// The buffer the decoder allocates for the window the region's frame declares.
uint64_t decoderBufferBytes(const std::string& region) {
  ZSTD_frameHeader header;
  if (ZSTD_getFrameHeader(&header, region.data() + kPayloadMagicBytes,
                          region.size() - kPayloadMagicBytes) != 0) {
    failBench("the region's frame header does not parse");
  }
  return ZSTD_decodingBufferSize_min(header.windowSize, header.frameContentSize);
}

// What reading the whole entry stream adds to the process's memory while the decoder lives,
// untimed: the region is resident before it starts. Beside it the two buffers that make most of
// it: the decoder's and the reader's queue.
void measureReaderMemory(const std::string& region) {
  const uint64_t streamBytes = decompressFrame(region, nullptr);
  uint64_t committedBefore = committedPrivateBytes();
  uint64_t residentBefore = workingSet();
  openRegion(region);
  for (uint64_t left = streamBytes; left > 0;) {
    size_t taken;
    takePayloadBytes(left, &taken);
    left -= taken;
  }
  uint64_t committedDuring = committedPrivateBytes();
  uint64_t residentDuring = workingSet();
  closePayload();
  printFigure("commit_growth_bytes", static_cast<double>(committedDuring - committedBefore));
  printFigure("working_set_growth_bytes", static_cast<double>(residentDuring - residentBefore));
  printFigure("decoder_buffer_bytes", static_cast<double>(decoderBufferBytes(region)));
  printFigure("queue_bytes", static_cast<double>(kQueueBytes));
}

uint32_t checksumOfView(const unsigned char* view, uint64_t size) {
  return storedChecksum(crc32Of(view, size));
}

// Whether the file holds the entry, the plain way: open, size, map, CRC, close.
bool mappedFileHolds(const std::wstring& path, const StreamEntry& entry, uint32_t stored) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  LARGE_INTEGER size;
  bool holds = GetFileSizeEx(file, &size) && static_cast<uint64_t>(size.QuadPart) == entry.size;
  if (holds && entry.size > 0) {
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    const void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
    holds = view != nullptr &&
            checksumOfView(static_cast<const unsigned char*>(view), entry.size) == stored;
    if (view != nullptr) {
      UnmapViewOfFile(view);
    }
    if (mapping != nullptr) {
      CloseHandle(mapping);
    }
  }
  CloseHandle(file);
  return holds;
}

// The machine's cost of telling that every file is in place, outside the launcher's code.
void measureVerification(const std::string& region, const std::wstring& folder) {
  std::string stream;
  decompressFrame(region, &stream);
  std::vector<StreamEntry> entries = parseEntries(stream);
  std::vector<uint32_t> stored;
  for (const StreamEntry& entry : entries) {
    stored.push_back(checksumOfView(entry.data, entry.size));
  }
  int64_t start = counterNow();
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!mappedFileHolds(folder + L"\\" + entries[i].name, entries[i], stored[i])) {
      failBench("not in place: " + narrow(entries[i].name));
    }
  }
  printFigure("microseconds", microsecondsSince(start));
}

// The table the packer would place beside the region, for the launcher's unpacking.
std::wstring tablePath(const std::wstring& region) {
  return region + L".table";
}

void writeTable(const std::wstring& region) {
  std::string stream;
  decompressFrame(readWholeFile(region), &stream);
  std::string table = entryTableOf(parseEntries(stream));
  HANDLE file = CreateFileW(tablePath(region).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  if (file == INVALID_HANDLE_VALUE ||
      !WriteFile(file, table.data(), static_cast<DWORD>(table.size()), &written, nullptr) ||
      written != table.size()) {
    failBench("cannot write " + narrow(tablePath(region)));
  }
  CloseHandle(file);
}

void measureInChild(const std::wstring& figure, const std::wstring& kind, int round,
                    const std::wstring& region, const std::wstring& folder) {
  std::wstring arguments = L"measure " + kind + L" " + quoteArgument(region);
  if (!folder.empty()) {
    arguments += L" " + quoteArgument(folder);
  }
  reportMeasurement(figure, round, arguments);
}

void verifyUnpackedFiles(const std::wstring& region, const std::wstring& folder) {
  std::string stream;
  decompressFrame(readWholeFile(region), &stream);
  for (const StreamEntry& entry : parseEntries(stream)) {
    std::string onDisk = readWholeFile(folder + L"\\" + entry.name);
    if (onDisk.size() != entry.size ||
        onDisk.compare(0, onDisk.size(), reinterpret_cast<const char*>(entry.data), entry.size) !=
            0) {
      failBench("unpacked file differs from its entry: " + narrow(entry.name));
    }
  }
}

}  // namespace

void runUnpackSuite(const std::wstring& region, int runs) {
  writeTable(region);
  const std::wstring writeFolder = benchFolder(L"write");
  // Alone in a folder of its own, so that a first start finds no files beside it to take.
  const std::wstring unpackFolder = benchFolder(L"unpack\\copy");
  for (int round = 1; round <= runs; ++round) {
    measureInChild(L"decompress", L"decompress", round, region, L"");
    measureInChild(L"crc", L"crc", round, region, L"");
    makeEmptyFolder(writeFolder);
    measureInChild(L"write", L"write", round, region, writeFolder);
    removeTree(unpackFolder);
    measureInChild(L"unpack-first", L"unpack", round, region, unpackFolder);
    measureInChild(L"verify", L"verify", round, region, unpackFolder);
    std::string before = folderSnapshot(unpackFolder);
    measureInChild(L"unpack-second", L"unpack", round, region, unpackFolder);
    measureInChild(L"unpack-second-one", L"unpack-one", round, region, unpackFolder);
    if (folderSnapshot(unpackFolder) != before) {
      failBench("the second start rewrote files: the reuse path was not measured");
    }
    measureInChild(L"reader-memory", L"reader-memory", round, region, L"");
  }
  verifyUnpackedFiles(region, unpackFolder);
  for (const std::wstring& folder : {writeFolder, unpackFolder}) {
    removeTree(folder);
  }
}

bool measureOnce(const std::wstring& kind, const std::wstring& region, const std::wstring& folder) {
  const std::string bytes = readWholeFile(region);
  if (kind == L"decompress") {
    measureDecompression(bytes);
  } else if (kind == L"crc") {
    measureChecksums(bytes);
  } else if (kind == L"write") {
    measureWriting(bytes, folder);
  } else if (kind == L"verify") {
    measureVerification(bytes, folder);
  } else if (kind == L"unpack") {
    measureUnpacking(bytes, readWholeFile(tablePath(region)), folder);
  } else if (kind == L"unpack-one") {
    keepToOneProcessor();
    measureUnpacking(bytes, readWholeFile(tablePath(region)), folder);
  } else if (kind == L"reader-memory") {
    measureReaderMemory(bytes);
  } else {
    return false;
  }
  return true;
}

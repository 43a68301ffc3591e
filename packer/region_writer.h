// Writing payload regions: the files of an application folder as one zstd frame between the
// magic and the trailer of rules/payload_format.h.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "packer/app_folder.h"
#include "packer/pack_summary.h"

constexpr int kDefaultCompressionLevel = 19;

// zstd's workers compress the entry stream in jobs of this many bytes, each on one thread, so an
// application larger than a job uses several cores. The frame depends on it (and on nothing
// like the thread count).
constexpr int kCompressionJobBytes = 16 << 20;

struct Compression {
  int level = kDefaultCompressionLevel;
  // Worker threads, at least 1. Every count gives the same frame.
  unsigned threads = 1;
  // A progress line on standard error while a long run packs, when it is a terminal.
  bool progress = false;
};

// The machine's processor count, the default number of threads.
unsigned defaultThreads();

// The highest compression level the zstd library offers.
int maxCompressionLevel();

// Where the bytes of a region go as they are made; throws PackError when they cannot.
using RegionSink = std::function<void(const char* data, size_t size)>;

// Writes the region of `files` (in their order) to `out` and returns its length. Throws
// PackError when a file cannot be read or changes while it is packed, or when the output cannot
// be written.
uint64_t writeRegion(const std::vector<AppFile>& files, const Compression& compression,
                     const RegionSink& out);
uint64_t writeRegion(const std::vector<AppFile>& files, const Compression& compression,
                     std::FILE* out);

// The `region` command: packs `folder`, `mainName` first and without what `exclude` matches,
// into the region file `out`, which appears only when it is complete, with a depfile naming
// the folder's files when `depfile` is given. Checks the folder and the main file before it
// compresses anything, and makes the folders of `out` and `depfile` when missing.
PackSummary packRegion(const std::filesystem::path& folder, std::string_view mainName,
                       const std::vector<ExcludePattern>& exclude, const std::filesystem::path& out,
                       const Compression& compression,
                       const std::optional<std::filesystem::path>& depfile);

// Writing payload regions: the files of an application folder as one zstd frame between the
// magic and the trailer of rules/payload_format.h.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "packer/app/app_folder.h"
#include "rules/payload_format.h"

constexpr int kDefaultCompressionLevel = 19;

// zstd's workers compress the entry stream in jobs of this many bytes, each on one thread, so an
// application larger than a job uses several cores. The frame depends on it (and on nothing
// like the thread count).
constexpr int kCompressionJobBytes = 16 << 20;

// The launcher's decoder holds the whole window a frame declares, so a frame declares no more
// than it needs: the smallest power of two that holds an entry stream shorter than a job (one
// job never looks back before its own start), and 2^kLongStreamWindowLog for a longer one. A
// job reaches back only into its own data, the overlap it reloads and, at the strongest levels,
// the long-distance matches within the window. On the benchmark's applications (31 MB to 1 GB)
// 2^25 gives regions no larger than 2^27 did, at the default level and at level 3, and keeps a
// first start below 48 MiB of private memory; 2^24 gives regions 0.1 % to 0.8 % larger, and 2^26
// would pass 48 MiB.
constexpr int kLongStreamWindowLog = 25;

static_assert(kMinFrameWindowLog <= kLongStreamWindowLog &&
                  kLongStreamWindowLog <= kMaxFrameWindowLog,
              "a window the launcher decodes");
static_assert(kCompressionJobBytes <= (1 << kLongStreamWindowLog),
              "no stream shorter than a job declares a larger window than a longer one");

struct Compression {
  int level = kDefaultCompressionLevel;
  // Worker threads, at least 1. Every count gives the same frame.
  unsigned threads = 1;
  // A progress line on standard error while a long run packs, when it is a terminal.
  bool progress = false;
  // x86-64 programs go through the executable filter (rules/branch_filter.h) as filtered
  // entries; without it the region is one every launcher reads. Off by default: on the
  // benchmark's applications, whose files are less than a tenth code, it gains under 1 % and
  // loses at level 3 on the largest (docs/performance.md).
  bool filterPrograms = false;
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

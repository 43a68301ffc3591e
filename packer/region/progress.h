// Progress of a packing run on standard error, unless the run is quiet: on a terminal one line,
// rewritten in place, while a run that takes more than a second packs; elsewhere (a CI log, a
// file, a pipe) a line of plain text every ten seconds of a run that takes longer, so that a
// log shows that a long pack goes on without filling up with it. ProgressLine decides what the
// line says and when; Progress shows it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>

struct ProgressCounts {
  size_t files = 0;       // files read whole
  uint64_t bytesIn = 0;   // bytes compressed
  uint64_t bytesOut = 0;  // bytes they gave
};

// "packing <files>/<total> files, <in>/<total> MB in, <out> MB out, <rate> MB/s, about <time>
// left", MB of 10^6 bytes, the rate the one so far, the time left from `recentRate` (bytes a
// second), without it when there is none.
std::string progressText(const ProgressCounts& counts, size_t totalFiles, uint64_t totalBytes,
                         double seconds, std::optional<double> recentRate);

class ProgressLine {
 public:
  using Duration = std::chrono::steady_clock::duration;

  // A line for a terminal, which rewrites it in place, or else for a log.
  ProgressLine(size_t totalFiles, uint64_t totalBytes, bool terminal = true);

  // The line to show `elapsed` after the start, or "" when none is due: none in the first
  // second, then at most one in each tenth of a second on a terminal; for a log, one every
  // kLogInterval. The time left comes from the rate of the last kSteadyWindow, once the line
  // has watched that long: the first seconds of a pack (the first files read, zstd's workers
  // starting) say little of the rest.
  std::string due(const ProgressCounts& counts, Duration elapsed);

  static constexpr std::chrono::seconds kSteadyWindow{5};
  static constexpr std::chrono::seconds kLogInterval{10};

 private:
  // The rate of the last kSteadyWindow, in bytes a second; none before it has passed.
  std::optional<double> recentRate(uint64_t bytesIn, Duration elapsed);

  size_t totalFiles_;
  uint64_t totalBytes_;
  bool terminal_;
  bool sampled_ = false;
  Duration lastSampled_{};
  Duration lastShown_{};
  std::deque<std::pair<Duration, uint64_t>> samples_;  // time, bytes in, ten a second at most
};

class Progress {
 public:
  // Shows progress when `wanted`, on a terminal or as a log.
  Progress(bool wanted, size_t totalFiles, uint64_t totalBytes);
  // Erases a terminal's line, so that what follows starts on a clean line.
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void fileRead();
  // The totals so far: bytes compressed and the bytes they gave.
  void compressed(uint64_t bytesIn, uint64_t bytesOut);

 private:
  void update();

  bool shown_;
  bool terminal_;
  ProgressLine line_;
  ProgressCounts counts_;
  std::chrono::steady_clock::time_point start_;
  size_t width_ = 0;  // of the line on the terminal
};

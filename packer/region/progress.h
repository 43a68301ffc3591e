// Progress of a packing run: one line on standard error, rewritten in place, while a run that
// takes more than a second packs, when standard error is a terminal and the run is not quiet;
// nothing otherwise, so that logs and pipes stay clean. ProgressLine decides what the line says
// and when; Progress shows it.
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

  ProgressLine(size_t totalFiles, uint64_t totalBytes);

  // The line to show `elapsed` after the start, or "" when none is due: none in the first
  // second, then at most one in each tenth of a second. The time left comes from the rate of
  // the last kSteadyWindow, once the line has watched that long: the first seconds of a pack
  // (the first files read, zstd's workers starting) say little of the rest.
  std::string due(const ProgressCounts& counts, Duration elapsed);

  static constexpr std::chrono::seconds kSteadyWindow{5};

 private:
  // The rate of the last kSteadyWindow, in bytes a second; none before it has passed.
  std::optional<double> recentRate(uint64_t bytesIn, Duration elapsed);

  size_t totalFiles_;
  uint64_t totalBytes_;
  bool shown_ = false;
  Duration lastShown_{};
  std::deque<std::pair<Duration, uint64_t>> samples_;  // of the lines shown: time, bytes in
};

class Progress {
 public:
  // Shows progress when `wanted` and standard error is a terminal.
  Progress(bool wanted, size_t totalFiles, uint64_t totalBytes);
  // Erases the line, so that what follows starts on a clean line.
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void fileRead();
  // The totals so far: bytes compressed and the bytes they gave.
  void compressed(uint64_t bytesIn, uint64_t bytesOut);

 private:
  void update();

  bool shown_;
  ProgressLine line_;
  ProgressCounts counts_;
  std::chrono::steady_clock::time_point start_;
  size_t width_ = 0;  // of the line on the terminal
};

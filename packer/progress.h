// Progress of a packing run: one line on standard error, rewritten in place, while a run that
// takes more than a second packs, when standard error is a terminal and the run is not quiet;
// nothing otherwise, so that logs and pipes stay clean. ProgressLine decides what the line says
// and when; Progress shows it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

struct ProgressCounts {
  size_t files = 0;       // files read whole
  uint64_t bytesIn = 0;   // bytes compressed
  uint64_t bytesOut = 0;  // bytes they gave
};

// "packing <files>/<total> files, <in>/<total> MB in, <out> MB out, <rate> MB/s, about <time>
// left", MB of 10^6 bytes, the time left from the rate so far.
std::string progressText(const ProgressCounts& counts, size_t totalFiles, uint64_t totalBytes,
                         double seconds);

class ProgressLine {
 public:
  using Duration = std::chrono::steady_clock::duration;

  ProgressLine(size_t totalFiles, uint64_t totalBytes);

  // The line to show `elapsed` after the start, or "" when none is due: none in the first
  // second, then at most one in each tenth of a second.
  std::string due(const ProgressCounts& counts, Duration elapsed);

 private:
  size_t totalFiles_;
  uint64_t totalBytes_;
  bool shown_ = false;
  Duration lastShown_{};
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

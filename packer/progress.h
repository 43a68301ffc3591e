// Progress of a long packing run, shown on standard error when it is a terminal and the input
// is large; nothing otherwise, so that logs and pipes stay clean.
#pragma once

#include <chrono>
#include <cstdint>

class Progress {
 public:
  explicit Progress(uint64_t totalBytes);
  // Ends the progress line.
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void advance(uint64_t bytes);

 private:
  void show();

  uint64_t total_;
  uint64_t done_ = 0;
  bool shown_;
  std::chrono::steady_clock::time_point lastShown_;
};

#include "packer/progress.h"

#include <unistd.h>

#include <cstdio>

namespace {

// Smaller inputs pack in a moment; a line for them would only flicker.
constexpr uint64_t kLargeInputBytes = 32ull << 20;
constexpr auto kShowInterval = std::chrono::milliseconds(200);
constexpr double kMebibyte = 1024.0 * 1024.0;

}  // namespace

Progress::Progress(uint64_t totalBytes)
    : total_(totalBytes), shown_(totalBytes >= kLargeInputBytes && isatty(STDERR_FILENO)) {}

Progress::~Progress() {
  if (!shown_) {
    return;
  }
  show();
  std::fputc('\n', stderr);
}

void Progress::advance(uint64_t bytes) {
  done_ += bytes;
  if (!shown_) {
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  if (now - lastShown_ < kShowInterval) {
    return;
  }
  lastShown_ = now;
  show();
}

void Progress::show() {
  std::fprintf(stderr, "\rtarnic-pack: packing %.1f of %.1f MiB (%d%%)", done_ / kMebibyte,
               total_ / kMebibyte, static_cast<int>(done_ * 100 / total_));
}

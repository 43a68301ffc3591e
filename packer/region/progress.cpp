#include "packer/region/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kSampleInterval = std::chrono::milliseconds(100);
constexpr double kMegabyte = 1e6;
constexpr double kSecondsPerMinute = 60;

std::string timeLeft(double seconds) {
  if (seconds < kSecondsPerMinute) {
    return "about " + std::to_string(static_cast<long>(std::ceil(seconds))) + " s left";
  }
  return "about " + std::to_string(static_cast<long>(std::ceil(seconds / kSecondsPerMinute))) +
         " min left";
}

}  // namespace

std::string progressText(const ProgressCounts& counts, size_t totalFiles, uint64_t totalBytes,
                         double seconds, std::optional<double> recentRate) {
  const double rate = seconds > 0 ? counts.bytesIn / seconds : 0;
  char text[160];
  std::snprintf(text, sizeof text, "packing %zu/%zu files, %.1f/%.1f MB in, %.1f MB out, %.1f MB/s",
                counts.files, totalFiles, counts.bytesIn / kMegabyte, totalBytes / kMegabyte,
                counts.bytesOut / kMegabyte, rate / kMegabyte);
  std::string line = text;
  if (recentRate && *recentRate > 0) {
    line += ", " + timeLeft((totalBytes - counts.bytesIn) / *recentRate);
  }
  return line;
}

ProgressLine::ProgressLine(size_t totalFiles, uint64_t totalBytes, bool terminal)
    : totalFiles_(totalFiles), totalBytes_(totalBytes), terminal_(terminal) {}

std::string ProgressLine::due(const ProgressCounts& counts, Duration elapsed) {
  if (elapsed < kQuietStart || (sampled_ && elapsed - lastSampled_ < kSampleInterval)) {
    return "";
  }
  sampled_ = true;
  lastSampled_ = elapsed;
  const std::optional<double> rate = recentRate(counts.bytesIn, elapsed);
  if (!terminal_ && elapsed - lastShown_ < kLogInterval) {
    return "";
  }
  lastShown_ = elapsed;
  return progressText(counts, totalFiles_, totalBytes_,
                      std::chrono::duration<double>(elapsed).count(), rate);
}

std::optional<double> ProgressLine::recentRate(uint64_t bytesIn, Duration elapsed) {
  samples_.emplace_back(elapsed, bytesIn);
  // The oldest sample kept is the last one at least a window old.
  while (samples_.size() > 1 && elapsed - samples_[1].first >= kSteadyWindow) {
    samples_.pop_front();
  }
  const auto& [then, bytesThen] = samples_.front();
  if (elapsed - then < kSteadyWindow) {
    return std::nullopt;
  }
  return (bytesIn - bytesThen) / std::chrono::duration<double>(elapsed - then).count();
}

Progress::Progress(bool wanted, size_t totalFiles, uint64_t totalBytes)
    : shown_(wanted),
      terminal_(isatty(STDERR_FILENO) != 0),
      line_(totalFiles, totalBytes, terminal_),
      start_(std::chrono::steady_clock::now()) {}

Progress::~Progress() {
  if (width_ > 0) {
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(width_), "");
    std::fflush(stderr);
  }
}

void Progress::fileRead() {
  ++counts_.files;
  update();
}

void Progress::compressed(uint64_t bytesIn, uint64_t bytesOut) {
  counts_.bytesIn = bytesIn;
  counts_.bytesOut = bytesOut;
  update();
}

void Progress::update() {
  if (!shown_) {
    return;
  }
  const std::string text = line_.due(counts_, std::chrono::steady_clock::now() - start_);
  if (text.empty()) {
    return;
  }
  if (!terminal_) {
    std::fprintf(stderr, "tarnic-pack: %s\n", text.c_str());
    std::fflush(stderr);
    return;
  }
  // Blanks over what is left of a longer line before.
  const int pad = width_ > text.size() ? static_cast<int>(width_ - text.size()) : 0;
  std::fprintf(stderr, "\r%s%*s", text.c_str(), pad, "");
  std::fflush(stderr);
  width_ = std::max(width_, text.size());
}

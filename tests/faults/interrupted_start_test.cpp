// First starts terminated from outside while they unpack: the start after each must leave the
// application whole, whatever the terminated one left behind.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/faults/fault_support.h"

namespace {

// Terminations that must land inside the unpacking, and the different amounts of unpacked data
// they must leave, so that they are known to have hit many moments and not a few lucky spots.
constexpr int kKillsInsideUnpacking = 32;
constexpr size_t kDistinctMoments = kKillsInsideUnpacking / 2;
// How long the test keeps terminating starts before it gives up on reaching that coverage:
// generous, since a busy machine makes the unpacking's pace uneven.
constexpr int kMostKills = 1000;
constexpr double kMostSeconds = 900;

double nowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return 1000.0 * counter.QuadPart / frequency.QuadPart;
}

// Partial files that a start left below `target`.
std::vector<std::wstring> partialFilesLeft(const std::wstring& target) {
  std::vector<std::wstring> left;
  for (const AppFile& file : applicationFiles()) {
    if (partialFilesOf(target + L"\\" + file.name).count > 0)
      left.push_back(file.name);
  }
  return left;
}

std::wstring firstFile(const std::wstring& temp) {
  return bulkyTarget(temp) + L"\\report.exe";
}

// When a termination lands: a time after the unpacking started, or the moment the files on
// disk are first seen to hold at least some amount of data. The unpacking writes in steps, so
// aiming at amounts reaches amounts that a rare instant holds; aiming at times reaches moments
// between writes (folders, renames).
struct Aim {
  double delayMs = 0;
  uint64_t bytes = 0;

  bool dueAt(double startMs, const std::wstring& target) const {
    return bytes == 0 ? nowMs() >= startMs + delayMs : bytesUnpacked(target) >= bytes;
  }
};

// Where a termination landed: how long after the unpacking started, and the bytes it left.
struct Stop {
  double afterMs = 0;
  uint64_t left = 0;
};

// Terminates a first start where `aim` says. The launcher is held still while the test looks:
// once every file is whole it may be starting its child, and under Wine a process terminated
// then can leave a half-made child behind that holds the test's output open. Such a start is let
// go on to its end.
Stop terminateFirstStart(const Aim& aim, const std::wstring& temp) {
  RunningLauncher launcher;
  startLauncher(launcherPath(L"bulky"), temp, &launcher);
  std::wstring target = bulkyTarget(temp);
  Stop stop;
  if (waitForUnpackingToStart(launcher, firstFile(temp))) {
    double start = nowMs();
    while (!aim.dueAt(start, target) && !launcher.hasEnded()) {
    }
    SuspendThread(launcher.thread);
    stop.afterMs = nowMs() - start;
    if (bytesUnpacked(target) < applicationBytes())
      TerminateProcess(launcher.process, 1);
    ResumeThread(launcher.thread);
  }
  WaitForSingleObject(launcher.process, INFINITE);
  stop.left = bytesUnpacked(target);
  return stop;
}

// What the terminations have reached so far, and where the next one is aimed: by turns at a
// random amount of the data and at a random time, until enough moments are covered.
class Coverage {
 public:
  Aim nextAim(std::mt19937& random) const {
    Aim aim;
    if (kills_ % 2 == 0)
      aim.bytes = std::uniform_int_distribution<uint64_t>(1, applicationBytes() - 1)(random);
    else
      aim.delayMs = std::uniform_real_distribution<double>(0, horizonMs_)(random);
    return aim;
  }

  void record(const Stop& stop) {
    ++kills_;
    if (stop.left == applicationBytes())
      return;
    // Times are aimed a little past the latest moment seen inside the unpacking, which the
    // terminations aimed at amounts find out however fast the machine runs it.
    horizonMs_ = std::max(horizonMs_, stop.afterMs * 5 / 4);
    ++inside_;
    moments_.insert(stop.left);
    ++quarters_[4 * stop.left / applicationBytes()];
  }

  bool reached() const {
    return inside_ >= kKillsInsideUnpacking && moments_.size() >= kDistinctMoments &&
           std::all_of(std::begin(quarters_), std::end(quarters_), [](int n) { return n > 0; });
  }

  std::string summary() const {
    std::ostringstream text;
    text << kills_ << " terminations, the latest inside the unpacking " << horizonMs_ * 4 / 5
         << " ms after it started; " << inside_ << " of them while unpacking ("
         << kKillsInsideUnpacking << " needed), leaving " << moments_.size()
         << " different amounts of data (" << kDistinctMoments
         << " needed); by quarter of the data: " << quarters_[0] << ", " << quarters_[1] << ", "
         << quarters_[2] << ", " << quarters_[3];
    return text.str();
  }

 private:
  double horizonMs_ = 1;
  int kills_ = 0, inside_ = 0;
  std::set<uint64_t> moments_;
  int quarters_[4] = {};
};

}  // namespace

TEST(InterruptedUnpacking, StartAfterATerminationAtAnyMomentLeavesEveryFileWhole) {
  Coverage coverage;
  std::mt19937 random(20261208);
  double deadline = nowMs() + 1000 * kMostSeconds;
  for (int kills = 0; !coverage.reached() && kills < kMostKills && nowMs() < deadline; ++kills) {
    Aim aim = coverage.nextAim(random);
    std::wstring temp = freshFolder(L"killed");
    Stop stop = terminateFirstStart(aim, temp);
    coverage.record(stop);

    std::ostringstream when;
    when << "after a termination aimed at " << aim.delayMs << " ms or " << aim.bytes
         << " bytes that left " << stop.left << " bytes";
    Launch next = launchWithTemp(launcherPath(L"bulky"), temp);
    ASSERT_EQ(next.process.exitCode, 0u)
        << when.str() << ": " << next.process.out << next.process.err;
    EXPECT_EQ(next.report.module, bulkyTarget(temp) + L"\\report.exe");
    ASSERT_TRUE(holdsTheApplication(bulkyTarget(temp))) << when.str();
    EXPECT_TRUE(partialFilesLeft(bulkyTarget(temp)).empty())
        << "partial files remain " << when.str();
    removeTree(extendedPath(temp));
  }
  std::cout << coverage.summary() << "\n";
  EXPECT_TRUE(coverage.reached()) << "gave up after " << kMostKills << " terminations or "
                                  << kMostSeconds << " s: " << coverage.summary();
}

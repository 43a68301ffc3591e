// First starts terminated from outside while they unpack: the start after each must leave the
// application whole, whatever the terminated one left behind.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "tests/faults/fault_support.h"

namespace {

// Terminations that must land inside the unpacking, and the most starts spent to get them.
constexpr int kKillsInsideUnpacking = 32;
constexpr int kMostKills = 120;
constexpr int kCalibrationStarts = 3;
// Different amounts of unpacked data that the terminations must leave, so that they are known
// to have hit many moments and not a few lucky spots.
constexpr size_t kDistinctMoments = kKillsInsideUnpacking / 2;

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

// A launcher running with its standard handles on the null device. It is let run to its end,
// which comes soon since its child ends at once: terminating it at a moment not chosen could
// hit it while it starts its child (see terminateFirstStartAfter).
struct RunningLauncher {
  HANDLE process = nullptr;
  HANDLE thread = nullptr;

  ~RunningLauncher() {
    if (process != nullptr) {
      WaitForSingleObject(process, INFINITE);
      CloseHandle(process);
      CloseHandle(thread);
    }
  }
};

// The launcher inherits TMP and TEMP from this process.
void startLauncher(const std::wstring& temp, RunningLauncher* launcher) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE null =
      CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  &inherit, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(null, INVALID_HANDLE_VALUE);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = null;
  std::wstring exe = launcherPath(L"bulky");
  std::wstring line = quoteArgument(exe);
  SetEnvironmentVariableW(L"TMP", temp.c_str());
  SetEnvironmentVariableW(L"TEMP", temp.c_str());
  PROCESS_INFORMATION info{};
  BOOL started = CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr,
                                /* inherit handles */ TRUE, 0, nullptr, nullptr, &startup, &info);
  CloseHandle(null);
  ASSERT_TRUE(started) << GetLastError();
  launcher->process = info.hProcess;
  launcher->thread = info.hThread;
}

bool hasEnded(const RunningLauncher& launcher) {
  return WaitForSingleObject(launcher.process, 0) == WAIT_OBJECT_0;
}

uint64_t sizeOnDisk(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(extendedPath(path).c_str(), GetFileExInfoStandard, &data))
    return 0;
  return static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

// A file is written under this suffix and renamed when complete.
constexpr wchar_t kPartialSuffix[] = L".tarnic-partial";

// How far a start has come: the bytes of the application's files on disk, complete or still
// under their partial names.
uint64_t bytesUnpacked(const std::wstring& target) {
  uint64_t bytes = 0;
  for (const AppFile& file : applicationFiles()) {
    std::wstring path = target + L"\\" + file.name;
    bytes +=
        std::min<uint64_t>(sizeOnDisk(path) + sizeOnDisk(path + kPartialSuffix), file.data.size());
  }
  return bytes;
}

// Partial files that a start left below `target`.
std::vector<std::wstring> partialFilesLeft(const std::wstring& target) {
  std::vector<std::wstring> left;
  for (const AppFile& file : applicationFiles()) {
    std::wstring partial = target + L"\\" + file.name + kPartialSuffix;
    if (GetFileAttributesW(extendedPath(partial).c_str()) != INVALID_FILE_ATTRIBUTES)
      left.push_back(file.name);
  }
  return left;
}

std::wstring firstFile(const std::wstring& temp) {
  return bulkyTarget(temp) + L"\\report.exe";
}

// Waits until the launcher has made the first file of its target directory, the moment its
// unpacking starts. False when the launcher ended before it was seen.
bool waitForUnpackingToStart(const RunningLauncher& launcher, const std::wstring& temp) {
  std::wstring first = extendedPath(firstFile(temp));
  while (GetFileAttributesW(first.c_str()) == INVALID_FILE_ATTRIBUTES)
    if (hasEnded(launcher))
      return false;
  return true;
}

// How long a first start takes from its first file to the moment every file has its full size.
double watchOneFirstStart() {
  std::wstring temp = freshFolder(L"calibration");
  RunningLauncher launcher;
  startLauncher(temp, &launcher);
  if (!waitForUnpackingToStart(launcher, temp))
    return 0;
  double begin = nowMs(), end = begin;
  while (!hasEnded(launcher) && bytesUnpacked(bulkyTarget(temp)) < applicationBytes())
    end = nowMs();
  return end - begin;
}

double measureUnpacking() {
  std::vector<double> durations;
  for (int i = 0; i < kCalibrationStarts; ++i)
    durations.push_back(watchOneFirstStart());
  std::sort(durations.begin(), durations.end());
  return durations[durations.size() / 2];
}

void sleepUntil(double ms) {
  for (double left = ms - nowMs(); left > 0; left = ms - nowMs())
    Sleep(left > 2 ? static_cast<DWORD>(left - 1) : 0);
}

// Terminates a first start `delayMs` after its unpacking started; returns what it left. The
// launcher is held still while the test looks: once every file is whole it may be starting its
// child, and under Wine a process terminated then can leave a half-made child behind that holds
// the test's output open. Such a start is let go on to its end.
uint64_t terminateFirstStartAfter(double delayMs, const std::wstring& temp) {
  RunningLauncher launcher;
  startLauncher(temp, &launcher);
  if (waitForUnpackingToStart(launcher, temp)) {
    sleepUntil(nowMs() + delayMs);
    SuspendThread(launcher.thread);
    if (bytesUnpacked(bulkyTarget(temp)) < applicationBytes())
      TerminateProcess(launcher.process, 1);
    ResumeThread(launcher.thread);
  }
  WaitForSingleObject(launcher.process, INFINITE);
  return bytesUnpacked(bulkyTarget(temp));
}

}  // namespace

TEST(InterruptedUnpacking, StartAfterATerminationAtAnyMomentLeavesEveryFileWhole) {
  double unpackingMs = measureUnpacking();
  ASSERT_GT(unpackingMs, 0);
  int inside = 0, kills = 0;
  std::set<uint64_t> moments;
  int quarters[4] = {};
  // The delays sweep the unpacking again and again, each sweep offset against the last, until
  // enough terminations have hit it before its end, at enough different moments and in every
  // quarter: on a busy machine the writes come in bursts, and many terminations meet the same.
  auto covered = [&] {
    return inside >= kKillsInsideUnpacking && moments.size() >= kDistinctMoments &&
           std::all_of(std::begin(quarters), std::end(quarters), [](int n) { return n > 0; });
  };
  for (; kills < kMostKills && !covered(); ++kills) {
    double sweep = kills / kKillsInsideUnpacking, step = kills % kKillsInsideUnpacking;
    double delay = (step + 0.5 + sweep / 3) / kKillsInsideUnpacking * unpackingMs;
    std::wstring temp = freshFolder(L"killed");
    uint64_t left = terminateFirstStartAfter(delay, temp);
    if (left < applicationBytes()) {
      ++inside;
      moments.insert(left);
      ++quarters[4 * left / applicationBytes()];
    }

    Launch next = launchWithTemp(launcherPath(L"bulky"), temp);
    ASSERT_EQ(next.process.exitCode, 0u)
        << "after a termination at " << delay << " ms: " << next.process.out << next.process.err;
    EXPECT_EQ(next.report.module, bulkyTarget(temp) + L"\\report.exe");
    ASSERT_TRUE(holdsTheApplication(bulkyTarget(temp)))
        << "after a termination at " << delay << " ms that left " << left << " bytes";
    EXPECT_TRUE(partialFilesLeft(bulkyTarget(temp)).empty())
        << "partial files remain after a termination at " << delay << " ms";
    removeTree(extendedPath(temp));
  }
  std::cout << "unpacking takes " << unpackingMs << " ms; " << kills << " terminations, " << inside
            << " of them while unpacking, leaving " << moments.size()
            << " different amounts of data; by quarter of the data: " << quarters[0] << ", "
            << quarters[1] << ", " << quarters[2] << ", " << quarters[3] << "\n";
  EXPECT_GE(inside, kKillsInsideUnpacking);
  EXPECT_GE(moments.size(), kDistinctMoments);
  for (int quarter : quarters)
    EXPECT_GT(quarter, 0) << "no termination in some quarter of the unpacking";
}

// The profiled benchmark program: the launcher's unpacking with its time split by the calls it
// spends it in (see profile_seams.h). Run by bench/run:
//
//   tarnic-bench-profile profile-suite <region file> <runs>
//   tarnic-bench-profile measure <region file> <folder>   one profiled unpacking, in a fresh
//                                                        process
//
// Results go to standard output as "<figure>\t<round>\t<key>\t<value>" lines: for each call
// "<call>_us" and "<call>_calls", and "total_us" for the whole unpacking.
#include <windows.h>

#include <cstdio>
#include <string>

#include "bench/bench_process.h"
#include "bench/profile_seams.h"
#include "payload/unpack.h"

namespace {

double ticksToMicroseconds(int64_t ticks) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(ticks) * 1e6 / static_cast<double>(frequency.QuadPart);
}

// The region's entry table lies beside it, written by the unpack suite of tarnic-bench.
void measureProfiled(const std::wstring& regionPath, const std::wstring& folder) {
  const std::string region = readWholeFile(regionPath);
  const std::string table = readWholeFile(regionPath + L".table");
  const AttachedPayload payload{reinterpret_cast<const unsigned char*>(region.data()),
                                region.size(), reinterpret_cast<const unsigned char*>(table.data()),
                                table.size()};
  resetProfile();
  int64_t start = counterNow();
  unpackPayload(folder.c_str(), payload,
                UnpackOptions{/* link from siblings */ true, /* record */ true, 0});
  double total = microsecondsSince(start);
  for (int call = 0; call < kProfiledCallCount; ++call) {
    const CallTotals& totals = callTotals(static_cast<ProfiledCall>(call));
    printf("%s_us %.1f\n", callName(static_cast<ProfiledCall>(call)),
           ticksToMicroseconds(totals.ticks.load()));
    printf("%s_calls %llu\n", callName(static_cast<ProfiledCall>(call)),
           static_cast<unsigned long long>(totals.calls.load()));
  }
  printf("total_us %.1f\n", total);
}

void runProfileSuite(const std::wstring& region, int runs) {
  const std::wstring folder = benchFolder(L"profile");
  const std::wstring arguments = L"measure " + quoteArgument(region) + L" " + quoteArgument(folder);
  for (int round = 1; round <= runs; ++round) {
    removeTree(folder);
    reportMeasurement(L"profile-first", round, arguments);
    reportMeasurement(L"profile-second", round, arguments);
  }
  removeTree(folder);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"profile-suite" && argc == 4 && _wtoi(argv[3]) > 0) {
    runProfileSuite(argv[2], _wtoi(argv[3]));
  } else if (command == L"measure" && argc == 4) {
    measureProfiled(argv[2], argv[3]);
  } else {
    fprintf(stderr,
            "usage: tarnic-bench-profile profile-suite <region> <runs>\n"
            "       tarnic-bench-profile measure <region> <folder>\n");
    return 2;
  }
  return 0;
}

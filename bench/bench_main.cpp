// The benchmark program, run by bench/run under Wine (or on Windows as it is):
//
//   tarnic-bench unpack-suite <region file> <runs>
//   tarnic-bench launch-suite <bare child> <shell child> <launcher> <tiny launcher> <copier>
//                             <application folder> <runs> [<baseline launcher>]
//   tarnic-bench window-suite <with window> <without window> <baseline windowed> <runs>
//   tarnic-bench update-suite <version 1> <version 2> <versioned 1> <versioned 2> <runs>
//   tarnic-bench versions-suite <runs> <kept 1> ... <kept 5> <all kept 1> ... <all kept 5>
//   tarnic-bench measure <kind> <region file> [<folder>]   one measurement, started by
//                                                         unpack-suite in a fresh process
//
// Results go to standard output as "<figure>\t<round>\t<key>\t<value>" lines.
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_process.h"
#include "bench/launch_bench.h"
#include "bench/unpack_bench.h"

namespace {

int runCount(const wchar_t* text) {
  int runs = _wtoi(text);
  if (runs < 1) {
    failBench("the run count must be a positive number");
  }
  return runs;
}

int usage() {
  fprintf(stderr,
          "usage: tarnic-bench unpack-suite <region> <runs>\n"
          "       tarnic-bench launch-suite <bare child> <shell child> <launcher> <tiny launcher> "
          "<copier> <application folder> <runs> [<baseline launcher>]\n"
          "       tarnic-bench window-suite <with window> <without window> <baseline windowed> "
          "<runs>\n"
          "       tarnic-bench update-suite <version 1> <version 2> <versioned 1> <versioned 2> "
          "<runs>\n"
          "       tarnic-bench versions-suite <runs> <kept 1..5> <all kept 1..5>\n"
          "       tarnic-bench measure <kind> <region> [<folder>]\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"unpack-suite" && argc == 4) {
    runUnpackSuite(argv[2], runCount(argv[3]));
  } else if (command == L"launch-suite" && (argc == 9 || argc == 10)) {
    runLaunchSuite(argv[2], argv[3], argv[4], argv[5], PlainCopy{argv[6], argv[7]},
                   argc == 10 ? argv[9] : L"", runCount(argv[8]));
  } else if (command == L"window-suite" && argc == 6) {
    runWindowSuite(argv[2], argv[3], argv[4], runCount(argv[5]));
  } else if (command == L"update-suite" && argc == 7) {
    runUpdateSuite(argv[2], argv[3], argv[4], argv[5], runCount(argv[6]));
  } else if (command == L"versions-suite" && argc == 3 + 2 * kBenchVersions) {
    const std::vector<std::wstring> launchers(argv + 3, argv + argc);
    runVersionsSuite(launchers.data(), launchers.data() + kBenchVersions, runCount(argv[2]));
  } else if (command == L"measure" && (argc == 4 || argc == 5)) {
    return measureOnce(argv[2], argv[3], argc == 5 ? argv[4] : L"") ? 0 : usage();
  } else {
    return usage();
  }
  return 0;
}

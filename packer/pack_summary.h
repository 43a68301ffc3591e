// The line the packer ends a run with on standard error, unless --quiet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PackSummary {
  size_t files = 0;
  uint64_t bytesIn = 0;              // the files' bytes
  uint64_t bytesOut = 0;             // the bytes written: the region or the launcher
  std::vector<std::string> leftOut;  // files of the run's own found in the application folder
  bool copyPerStart = false;         // every start unpacks a copy of its own, which nothing removes
  bool sharedCopyRemoved = false;    // starts share one copy, which the last to end removes
};

// "tarnic-pack: <output>: <files> files, <in> bytes in, <out> bytes out (<ratio>%), <seconds> s"
// with the ratio of out to in (or "-" when nothing went in) and seconds to two decimals, then
// "; left out: <path>, which this run writes" for each file of summary.leftOut, and the note on
// copies per start when summary.copyPerStart, or the one on a shared copy's removal when
// summary.sharedCopyRemoved.
std::string summaryLine(const std::string& output, const PackSummary& summary, double seconds);

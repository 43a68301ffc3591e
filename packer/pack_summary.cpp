#include "packer/pack_summary.h"

#include <cstdio>

std::string summaryLine(const std::string& output, const PackSummary& summary, double seconds) {
  char ratio[32] = "-";
  if (summary.bytesIn > 0) {
    std::snprintf(ratio, sizeof ratio, "%.1f%%",
                  100.0 * static_cast<double>(summary.bytesOut) / summary.bytesIn);
  }
  char time[32];
  std::snprintf(time, sizeof time, "%.2f s", seconds);
  std::string line = "tarnic-pack: " + output + ": " + std::to_string(summary.files) +
                     (summary.files == 1 ? " file, " : " files, ") +
                     std::to_string(summary.bytesIn) + " bytes in, " +
                     std::to_string(summary.bytesOut) + " bytes out (" + ratio + "), " + time;
  for (const std::string& path : summary.leftOut) {
    line += "; left out: " + path + ", which this run writes";
  }
  if (summary.copyPerStart) {
    line +=
        "; each start leaves a full copy: target_spec names a token new at every start, and "
        "nothing removes the copy unless [application] has remove_after_exit = true";
  }
  if (summary.sharedCopyRemoved) {
    line +=
        "; starts of this target share one copy; the last to end removes it (remove_after_exit "
        "with a target_spec that names no token new at every start)";
  }
  return line;
}

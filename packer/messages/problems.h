// The problems that the checks of one run find before anything is compressed or written,
// gathered so that one run names them all instead of one per run.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// A run shows this many problems at most, so that an input full of them still gives a message
// one can read.
constexpr size_t kMaxShownProblems = 20;

class Problems {
 public:
  // Notes `problem` ("<file>: <what is wrong>"), once: a folder's problem comes back for every
  // file below it.
  void add(const std::string& problem);
  void add(const Problems& more);
  bool empty() const { return problems_.empty(); }

  // Throws PackError unless there are none: one problem as it is; several as a list under
  // "<subject>: <count> <what>:", one a line, the first kMaxShownProblems and how many more.
  void throwIfAny(const std::string& subject, const std::string& what) const;

 private:
  std::vector<std::string> problems_;
};

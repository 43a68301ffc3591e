// The sample's own options. Every argument is also listed in the report, options included.
#pragma once

#include <cstdint>
#include <string>

struct Options {
  bool help = false;
  bool exitCodeGiven = false;
  uint32_t exitCode = 0;
  std::wstring error;  // what is wrong with the command line; empty when nothing is
};

// Reads "--help" and "--exit N" from argv[1..argc-1]; other arguments are ignored. The last
// "--exit" wins.
Options parseOptions(int argc, const wchar_t* const* argv);

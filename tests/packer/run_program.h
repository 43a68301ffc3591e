// Running programs from the packer's tests without a shell: arguments reach them as they are.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct ToolResult {
  int status;  // the exit status, or 128 + the signal that ended the program
  std::string out;
  std::string err;
};

// Runs `argv` (argv[0] searched in PATH when it has no slash) in `folder`, standard input from
// /dev/null, both outputs captured. Throws std::runtime_error when the program cannot be
// started.
ToolResult runProgram(const std::vector<std::string>& argv, const std::filesystem::path& folder);

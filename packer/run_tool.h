// Running the build tools (compiler, windres) without a shell: arguments reach them as they are.
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
// /dev/null, both outputs captured. Throws PackError when the program cannot be started.
ToolResult runProgram(const std::vector<std::string>& argv, const std::filesystem::path& folder);

// runProgram; throws PackError with the command line and the tool's output unless it exits 0.
void runTool(const std::vector<std::string>& argv, const std::filesystem::path& folder);

// Helpers of the packer's tests: scratch folders, files, and runs of the tarnic-pack program.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "packer/run_tool.h"

// A fresh folder, removed with its content at the end of the test.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Writes `bytes` to `path`, creating the folders above it.
void writeFile(const std::filesystem::path& path, const std::string& bytes);
std::string readFile(const std::filesystem::path& path);

// The names in `folder`, sorted, to show that a failed run left nothing behind.
std::vector<std::string> namesIn(const std::filesystem::path& folder);

// Runs tarnic-pack with `args` in the current folder.
ToolResult runPack(const std::vector<std::string>& args);

// An icon file of PNG images, one per size (256 is entered as 0, as icon directories require).
std::string makeIcon(const std::vector<int>& sizes);

// Helpers of the packer's tests: scratch folders, files, runs of the tarnic-pack program, and
// icons and program headers made to order.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/packer/run_program.h"

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

// The headers of a Windows program as a linker writes them, with no sections: enough for the
// packer's check of a main program. By default a 64-bit x64 console program.
struct ProgramHeaders {
  uint16_t machine = 0x8664;
  uint16_t magic = 0x20B;           // 0x10B for PE32
  uint16_t characteristics = 0x22;  // executable, large addresses; 0x2000 for a DLL
  uint16_t subsystem = 3;           // 2 for a GUI program
};
std::string makeProgram(const ProgramHeaders& headers = {});

// A program as makeProgram makes it with a resource section: one icon image of `imageBytes`
// bytes (a bitmap's header size, then zeros) and an icon group whose `entries` entries all
// name it.
std::string makeProgramWithIconGroup(uint32_t imageBytes, uint16_t entries);

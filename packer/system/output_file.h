// A file that appears under its name only when it is complete, so that a failed run leaves
// neither a partial output nor a temporary file behind. output_file_posix.cpp and
// output_file_win32.cpp make sure of it each on its system, an interrupted run included.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "packer/system/interruption.h"

// Makes the folder that is to hold `target` when it is missing, as build tools do. Throws
// PackError when it cannot.
void makeFolderFor(const std::filesystem::path& target);

// Why a run could not write `target`, given with `option` ("--out"), once it has packed: it is
// a folder (the message suggests `example` in it), a folder above it is a file, the folder that
// is to hold it (or the nearest existing one above, where makeFolderFor would make the rest)
// takes no new entries, or it cannot be replaced. The whole message, or "" when none of that
// is found. Looks only: nothing is made or written.
std::string outputProblem(const std::string& option, const std::filesystem::path& target,
                          const std::string& example);

// What keeps the existing `folder` from taking a new file or folder, or "": each system's file
// answers it.
std::string newEntryProblem(const std::filesystem::path& folder);

// What keeps the existing file `target` from being replaced by a rename, or "".
std::string replacementProblem(const std::filesystem::path& target);

class OutputFile {
 public:
  // Creates the temporary file beside `target`, in a folder made by makeFolderFor. Throws
  // PackError when the folder cannot take it.
  explicit OutputFile(std::filesystem::path target);
  // Removes the temporary file unless commit() has renamed it.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // The open temporary file.
  std::FILE* stream() { return stream_; }
  // Closes the stream and renames the temporary file to the target. Throws PackError.
  void commit();

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::FILE* stream_ = nullptr;
  bool committed_ = false;
  std::unique_ptr<RemovedOnInterruption> removal_;
};

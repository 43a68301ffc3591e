// A file that appears under its name only when it is complete, so that a failed run leaves
// neither a partial output nor a temporary file behind.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>

#include "packer/interruption.h"

class OutputFile {
 public:
  // Creates the temporary file beside `target`. Throws PackError when the folder cannot take it.
  explicit OutputFile(std::filesystem::path target);
  // Removes the temporary file unless commit() has renamed it.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // The open temporary file, for writers that write through the packer.
  std::FILE* stream() { return stream_; }
  // The temporary file's path, for tools that write it themselves (the stream is then unused).
  const std::filesystem::path& temporaryPath() const { return temporary_; }
  // Closes the stream and renames the temporary file to the target. Throws PackError.
  void commit();

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::FILE* stream_ = nullptr;
  bool committed_ = false;
  std::unique_ptr<RemovedOnInterruption> removal_;
};

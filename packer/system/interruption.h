// Temporary files and folders left by an interrupted run. Compression may run for minutes without a
// point where the work could stop. On POSIX systems the handler of SIGINT, SIGTERM and SIGHUP
// removes what is registered itself and then ends the process by the same signal
// (interruption_posix.cpp). On Windows the system removes them: the packer's temporary files are
// deleted when their handle closes, however the process ends (interruption_win32.cpp). A run
// that ends by an error removes them by unwinding instead.
#pragma once

#include <filesystem>

// Installs the handlers; until then a signal ends the process and leaves everything.
void catchInterruptions();

// Registers a temporary file, or a folder to remove after the files, for as long as it lives.
// There are slots for more than a command registers; a path of PATH_MAX bytes or more is
// not registered.
class RemovedOnInterruption {
 public:
  RemovedOnInterruption(const std::filesystem::path& path, bool folder);
  ~RemovedOnInterruption();
  RemovedOnInterruption(const RemovedOnInterruption&) = delete;
  RemovedOnInterruption& operator=(const RemovedOnInterruption&) = delete;

 private:
  int slot_;
};
